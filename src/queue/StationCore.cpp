#include "queue/StationCore.h"

#include "app/LabDatabase.h"

StationCore::StationCore(LabDatabase& lab, StationActivity& activity, Notices& notices,
                         const QString& printLogFolder, const QString& ledgerPath)
    : log(printLogFolder)
    , ledger(ledgerPath)
    , progress(ledger)
    , marks(list, log)
    , road(lab, printing, log, progress, faults, activity)
    , recent(lab, list, marks, progress, activity, faults, log)
    , cycle(lab, road, list, marks, progress, faults, activity, notices) {
    // The checks that must pass before printing resumes after a station fault.
    faults.setCheck(StationFaults::Source::Database, [&lab] { lab.checkWritable(); });
    faults.setCheck(StationFaults::Source::PrintLog, [this] { log.checkWritable(); });
    faults.setCheck(StationFaults::Source::Printer, [this] { printing.checkReady(); });
}
