// Figures of the station's own routines on a large embedded lab database:
//  - a lookup of a 20-label request, including filling the checklist, on 100,000 requests;
//  - the print-log lookup in a 100,000-line day file, and one durable append.
#include "BenchStation.h"
#include "labdb/LabDbBuilder.h"
#include "queue/PrintLog.h"
#include "station/CheckList.h"
#include "station/LookupInput.h"
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

using Bench::medianMs;

int main(int argc, char* argv[]) {
    QTemporaryDir dir;
    Bench::isolate(dir);
    QApplication app(argc, argv);
    const int requests = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    const QDateTime now = QDateTime::currentDateTime();
    const QString labPath = Bench::generateLab(dir, requests, now);
    {
        LabDbBuilder lab(labPath);
        LabRequest big;
        big.refNum = QStringLiteral("T9999999C");
        big.transDate = now;
        big.patient = {
            QStringLiteral("HN-BENCH"), QStringLiteral("BENCH"), QStringLiteral("MARK"), QString(),
            QStringLiteral("R1"),       QStringLiteral("40"),    QStringLiteral("F")};
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

    Bench::StationUnderTest running;
    if (!running.open(labPath))
        return 1;
    Station& station = running.station();
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
            file.write(PrintLog::entryLine(day, day,
                                           QStringLiteral("T%1C").arg(i, 7, 10, QLatin1Char('0'))));
    }
    const double missMs =
        medianMs(50, [&] { log.CheckPrintLog(QStringLiteral("NOT-THERE"), day, false, false); });
    const double lastMs =
        medianMs(50, [&] { log.CheckPrintLog(QStringLiteral("T0099999C"), day, false, false); });
    std::printf("print-log lookup in a 100,000-line day file: median %.2f ms (absent), %.2f ms "
                "(last line)\n",
                missMs, lastMs);
    const double appendMs =
        medianMs(100, [&] { log.CheckPrintLog(QStringLiteral("T-APPEND"), day, true, true); });
    std::printf("print-log append, synced to disk: median %.2f ms\n", appendMs);
    return 0;
}
