#include "queue/StationCore.h"

#include "app/LabDatabase.h"

#include <QDir>
#include <QFileInfo>

StationCore::StationCore(LabDatabase& lab, StationActivity& activity, Notices& notices,
                         const QString& printLogFolder, const QString& ledgerPath)
    : log(printLogFolder)
    , ledger(ledgerPath, [&lab] { return lab.identity(); })
    , history(
          ledgerPath.isEmpty()
              ? QString()
              : QFileInfo(ledgerPath).absoluteDir().filePath(QStringLiteral("label-history.db")))
    , recorder(history, ledger, notices)
    , progress(ledger)
    , marks(list, log)
    , road(lab, printing, log, progress, faults, activity)
    , recent(lab, list, marks, progress, activity, faults, log)
    , cycle(lab, road, list, marks, progress, faults, activity, notices) {
    history.setFolder(printLogFolder);
    // A folder that is not the one found at start-up (an empty mount point) takes no history.
    history.setFolderCheck([this] { log.checkSameFolder(); });
    road.setHistory(&recorder);
    // The checks that must pass before printing resumes after a station fault.
    faults.setCheck(StationFaults::Source::Database, [&lab] { lab.checkWritable(); });
    faults.setCheck(StationFaults::Source::PrintLog, [this] { log.checkWritable(); });
    faults.setCheck(StationFaults::Source::Printer, [this] { printing.checkReady(); });
    faults.setCheck(StationFaults::Source::Journal, [this] { ledger.check(); });
    // A journal that cannot be made stops printing from the start: kept only in memory, it
    // would lose what a crash needs, with nobody told.
    try {
        ledger.open();
    } catch (const JournalFailure& failure) {
        faults.raise(StationFaults::Source::Journal, failure.description());
    }
}

void StationCore::setPrintLogFolder(const QString& folder) {
    log.setFolder(folder);
    history.setFolder(folder);
}
