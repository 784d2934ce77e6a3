// Figures of the request queue on a large embedded lab database:
//  - Refresh adding the 50 newest requests, with a 100,000-line print log for each of their days;
//  - Print Now over 50 unprinted requests, labels written as PDF files;
//  - the automatic run's check for added labels over 600 printed requests of the window: the lab
//    statements a run sends and its time, with nothing new and with one exam added to one request.
//   bench_queue [requests]
#include "BenchStation.h"
#include "app/DbConnection.h"
#include "app/SettingsStore.h"
#include "app/StationActivity.h"
#include "labdb/LabDbBuilder.h"
#include "labels/LabelPrinting.h"
#include "queue/Notices.h"
#include "queue/PrintLog.h"
#include "queue/RequestListModel.h"
#include "queue/StationCore.h"
#include "station/Messages.h"
#include "station/QueueControls.h"
#include "station/RequestGrid.h"
#include "station/Station.h"
#include "station/StationWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using Bench::Figures;
using Bench::measure;

void removeFiles(const QString& folder, const QString& pattern) {
    QDir dir(folder);
    for (const QString& name : dir.entryList({pattern}, QDir::Files))
        dir.remove(name);
}

class SilentNotices : public Notices {
public:
    void notice(const QString&) override {}
};

LabItem benchItem(const QString& itemId, const QString& barcode) {
    LabItem item;
    item.exam = itemId;
    item.itemId = itemId;
    item.instrument = QStringLiteral("HEMA");
    item.barcode = barcode;
    item.sectionId = QStringLiteral("S1");
    item.specimenId = QStringLiteral("1");
    return item;
}

// 600 requests of the last six hours, each printed (the print log holds it, as after another
// station's print), on a station with no window.
int addedLabelCheck(const QTemporaryDir& dir) {
    const int requests = 600;
    const QString path = dir.filePath(QStringLiteral("window.db"));
    LabDbBuilder::create(path);
    LabDbBuilder lab(path);
    const QDateTime now = QDateTime::currentDateTime();
    QList<LabRequest> made;
    for (int k = 0; k < requests; ++k) {
        LabRequest r;
        r.refNum = QStringLiteral("W%1C").arg(k, 4, 10, QLatin1Char('0'));
        r.transDate = now.addSecs(-35 * k); // the window: 600 within 350 minutes
        r.patient.hospNum = QStringLiteral("HN-%1").arg(k);
        r.items = {benchItem(QStringLiteral("CBC"), r.refNum + QStringLiteral("01")),
                   benchItem(QStringLiteral("FBS"), r.refNum + QStringLiteral("02"))};
        lab.addRequest(r);
        made.append(r);
    }
    DbConnection connection;
    if (!connection.open({QStringLiteral("sqlite:") + path, {}, {}, {}}))
        return 1;
    StationActivity activity;
    SilentNotices notices;
    StationCore core(connection.lab(), activity, notices, dir.filePath(QStringLiteral("WindowLog")),
                     dir.filePath(QStringLiteral("window-ledger.db")));
    QDir().mkpath(core.log.folder());
    core.recent.LoadRecentRequests();
    for (int row = 0; row < core.list.rowCount(); ++row)
        core.log.CheckPrintLog(core.list.refNum(row), core.list.transDate(row), true, true);
    core.cycle.PrintPendingRequests(true); // each looked up once: the station's first run
    int printed = 0;
    for (int row = 0; row < core.list.rowCount(); ++row)
        printed += core.list.state(row) == RequestListModel::State::Printed ? 1 : 0;

    const auto report = [&](int changed, const std::function<void(int)>& change) {
        quint64 statements = 0;
        int run = 0;
        const Figures figures = measure(
            10, [&] { change(run++); },
            [&] {
                const quint64 before = connection.lab().statementsSent();
                core.cycle.PrintPendingRequests(true);
                statements = std::max(statements, connection.lab().statementsSent() - before);
            });
        std::printf("added-label check: %llu lab statements a run over %d printed requests (%d "
                    "changed), %.1f ms a run\n",
                    static_cast<unsigned long long>(statements), printed, changed, figures.median);
    };
    report(0, [](int) {});
    // An exam taken in the same container as the request's first label: the request's rows
    // change, its labels do not, so the run's whole cost is the check.
    report(1, [&](int run) {
        LabRequest r = made.at(run);
        r.items = {benchItem(QStringLiteral("ESR"), r.refNum + QStringLiteral("01"))};
        lab.addRequest(r);
    });
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir dir;
    Bench::isolate(dir);
    QApplication app(argc, argv);
    if (addedLabelCheck(dir) != 0)
        return 1;
    const int requests = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    const QString labPath = Bench::generateLab(dir, requests, QDateTime::currentDateTime());

    SettingsStore::write(QStringLiteral("Wrenfold"), QStringLiteral("LabBarcodes"),
                         QStringLiteral("vkchkAutoPrintRequests"), QStringLiteral("0"));
    Bench::StationUnderTest running;
    if (!running.open(labPath))
        return 1;
    Station& station = running.station();
    const QString labelFolder = dir.filePath(QStringLiteral("labels"));
    station.labelPrinting().setTemplatePath(Bench::writePdfTemplate(dir.path(), labelFolder));
    RequestGrid& grid = *station.window().controls().Grid1;
    QueueControls& recent = station.queue();
    const QString logFolder = station.printLogFolder();

    recent.onRefreshClick();
    const int listed = grid.rows() - 1;
    const Figures bare = measure(
        10, [] {}, [&] { recent.onRefreshClick(); });
    std::printf("Refresh adding %d requests, empty day log: median %.1f ms, worst %.1f ms\n",
                listed, bare.median, bare.worst);

    // The days of the newest requests, each with a 100,000-line log that holds none of them.
    QSet<QString> days;
    for (int row = 1; row < grid.rows(); ++row)
        days.insert(grid.cellText(row, 0));
    QSet<QString> files;
    for (const QString& transDate : std::as_const(days)) {
        const QString path = logFolder + QLatin1Char('/') + PrintLog::dayFileName(transDate);
        if (files.contains(path))
            continue;
        files.insert(path);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 1;
        QByteArray lines;
        for (int i = 0; i < 100000; ++i)
            lines += PrintLog::entryLine(transDate, transDate,
                                         QStringLiteral("X%1B").arg(i, 7, 10, QLatin1Char('0')));
        file.write(lines);
    }

    const Figures refresh = measure(
        10, [] {}, [&] { recent.onRefreshClick(); });
    std::printf("Refresh adding %d requests, 100,000-line day log: median %.1f ms, worst %.1f ms "
                "(%.2f ms per request)\n",
                grid.rows() - 1, refresh.median, refresh.worst,
                refresh.median / std::max(1, grid.rows() - 1));
    if (grid.rows() - 1 != listed)
        std::printf("  (the list changed while measuring: %d rows, then %d)\n", listed,
                    grid.rows() - 1);

    // Print Now over the list, every row unprinted: each run starts from empty logs.
    int labels = 0;
    const Figures run = measure(
        3,
        [&] {
            removeFiles(logFolder, QStringLiteral("*.txt"));
            removeFiles(labelFolder, QStringLiteral("*.pdf"));
            recent.onRefreshClick();
        },
        [&] {
            recent.onPrintNowClick();
            labels =
                int(QDir(labelFolder).entryList({QStringLiteral("*.pdf")}, QDir::Files).size());
        });
    int marked = 0;
    for (int row = 1; row < grid.rows(); ++row)
        marked += grid.cellText(row, RequestListModel::Printed).isEmpty() ? 0 : 1;
    std::printf("Print Now over %d unprinted requests (%d PDF labels): median %.0f ms, worst %.0f "
                "ms, %.1f ms per label; %d rows marked\n",
                grid.rows() - 1, labels, run.median, run.worst, run.median / std::max(1, labels),
                marked);
    return 0;
}
