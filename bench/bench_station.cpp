// Figures of the station's own routines on a large embedded lab database:
//  - a lookup of a 20-label request, including filling the checklist, on 100,000 requests;
//  - the print-log lookup in a 100,000-line day file, and one durable append.
#include "app/DbConnection.h"
#include "app/SettingsStore.h"
#include "labdb/LabDbBuilder.h"
#include "lookup/LookupInput.h"
#include "lookup/RequestLookup.h"
#include "queue/PrintLog.h"
#include "station/CheckList.h"
#include "station/Messages.h"
#include "station/Station.h"
#include "station/StationWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class SilentMessages : public Messages {
public:
    void show(const QString& text, Icon) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
};

template <typename F> double medianMs(int runs, F&& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        work();
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("windir", (dir.path() + QStringLiteral("\\Windows")).toLocal8Bit());
    const int requests = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    const QString labPath = dir.filePath(QStringLiteral("lab.db"));
    const QDateTime now = QDateTime::currentDateTime();

    QElapsedTimer clock;
    clock.start();
    LabDbBuilder::create(labPath);
    {
        LabDbBuilder lab(labPath);
        lab.generate(requests, now);
        LabRequest big;
        big.refNum = QStringLiteral("T9999999C");
        big.transDate = now;
        big.patient = {QStringLiteral("HN-BENCH"), QStringLiteral("BENCH"), QStringLiteral("MARK"),
                       QString(), QStringLiteral("R1"), QStringLiteral("40"), QStringLiteral("F")};
        for (int i = 0; i < 20; ++i) {
            LabItem item;
            item.exam = QStringLiteral("EXAM%1").arg(i);
            item.itemId = item.exam;
            item.instrument = QStringLiteral("INSTRUMENT %1").arg(i % 4);
            item.barcode = QStringLiteral("BENCH%1").arg(i, 4, 10, QLatin1Char('0'));
            big.items.append(item);
        }
        lab.addRequest(big);
    }
    std::printf("lab database: %d requests generated in %.1f s\n", requests, clock.elapsed() / 1e3);

    SettingsStore::write(QStringLiteral("ORVANT Current User"), QStringLiteral("Connection"),
                         QStringLiteral("Server"), QStringLiteral("sqlite:") + labPath);
    DbConnection connection;
    if (!OpenConnection(connection)) {
        std::fprintf(stderr, "cannot open: %s\n", qPrintable(connection.failureReason()));
        return 1;
    }
    SilentMessages messages;
    Station station(connection.lab(), messages);
    if (!station.show())
        return 1;
    const StationControls& c = station.window().controls();

    const double lookupMs = medianMs(200, [&] {
        c.txtNumber->setText(QStringLiteral("T9999999C"));
        station.lookupInput().onNumberEnter();
    });
    std::printf("lookup of a 20-label request, checklist filled: median %.2f ms (%d entries)\n",
                lookupMs, c.lstExams->entryCount());

    // The print log: a day file of 100,000 entries; a number that is not in it is the worst case.
    PrintLog log(station.printLogFolder());
    const QString day = now.toString(QStringLiteral("yyyy-MM-dd 08:00:00"));
    {
        QFile file(log.dayFilePath(day));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 1;
        for (int i = 0; i < 100000; ++i)
            file.write(PrintLog::entryLine(day, day, QStringLiteral("T%1C").arg(i, 7, 10, QLatin1Char('0'))));
    }
    const double missMs = medianMs(50, [&] { log.CheckPrintLog(QStringLiteral("NOT-THERE"), day, false, false); });
    const double lastMs = medianMs(50, [&] { log.CheckPrintLog(QStringLiteral("T0099999C"), day, false, false); });
    std::printf("print-log lookup in a 100,000-line day file: median %.2f ms (absent), %.2f ms (last line)\n",
                missMs, lastMs);
    const double appendMs = medianMs(100, [&] { log.CheckPrintLog(QStringLiteral("T-APPEND"), day, true, true); });
    std::printf("print-log append, synced to disk: median %.2f ms\n", appendMs);
    return 0;
}
