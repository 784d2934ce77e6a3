// Figures of the request queue on a large embedded lab database:
//  - Refresh adding the 50 newest requests, with a 100,000-line print log for each of their days;
//  - Print Now over 50 unprinted requests, labels written as PDF files.
//   bench_queue [requests]
#include "BenchStation.h"
#include "app/DbConnection.h"
#include "app/SettingsStore.h"
#include "labdb/LabDbBuilder.h"
#include "labels/LabelPrinting.h"
#include "queue/PrintLog.h"
#include "queue/RequestListModel.h"
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
#include <vector>

namespace {

using Bench::Figures;
using Bench::measure;

void removeFiles(const QString& folder, const QString& pattern) {
    QDir dir(folder);
    for (const QString& name : dir.entryList({pattern}, QDir::Files))
        dir.remove(name);
}

} // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir dir;
    Bench::isolate(dir);
    QApplication app(argc, argv);
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
