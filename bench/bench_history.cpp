// Figures of the lab's label history over generated years of a busy lab (2,000 labels a day, two
// years: about 1.5 million events in 24 month files):
//  - a new station's index caught up in idle steps: how many, and the longest;
//  - a request's history at lookup (the index brought up to date, then asked), averaged;
//  - what recording adds to a label: its event owed with its "printed" stage in the journal and
//    the reprint check, and its share of the request's append (locked, synced), over a plain
//    stage write;
//  - one month of events as the auditor's CSV.
//   bench_history [labels a day] [days]
#include "main/HistoryReport.h"
#include "queue/HistoryCatchUp.h"
#include "queue/HistoryRecorder.h"
#include "queue/LabelHistory.h"
#include "queue/LabelLedger.h"
#include "queue/Notices.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

class NoNotices : public Notices {
public:
    void notice(const QString&) override {}
};

constexpr int labelsPerRequest = 4;

QString requestOf(int day, int request) {
    return QStringLiteral("R%1-%2").arg(day).arg(request);
}

// Writes the month files: per day, its requests' labels printed at one station or another, a
// reprint now and then. Returns how many events were written.
qint64 generate(const QString& folder, int labelsADay, int days, const QDate& lastDay) {
    qint64 events = 0;
    QFile file;
    for (int d = days - 1; d >= 0; --d) {
        const QDate day = lastDay.addDays(-d);
        const QString path = QDir(folder).filePath(LabelHistory::monthFileName(day));
        if (file.fileName() != path) {
            file.close();
            file.setFileName(path);
            if (!file.open(QIODevice::Append))
                qFatal("cannot write %s", qPrintable(path));
        }
        QByteArray bytes;
        for (int label = 0; label < labelsADay; ++label) {
            LabelEvent e;
            e.id = QStringLiteral("S%1-%2-%3").arg(label % 3).arg(d).arg(label);
            e.time = QDateTime(day, QTime(6, 0).addSecs(label * 20))
                         .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            e.station = QStringLiteral("STATION-%1").arg(label % 3);
            e.account = QStringLiteral("lab%1").arg(label % 7);
            e.printer = QStringLiteral("zpl:tcp://10.0.0.%1").arg(label % 3);
            e.templateName = QStringLiteral("LabBarcodeLabel.rpt");
            e.request = requestOf(d, label / labelsPerRequest);
            e.barcode = QStringLiteral("B%1").arg(qint64(d) * labelsADay + label);
            e.copies = 1;
            e.reprint = label % 97 == 0;
            e.reason = e.reprint ? QStringLiteral("Label damaged or unreadable") : QString();
            e.confirmed = QStringLiteral("printer held and printed it");
            bytes += e.line();
            ++events;
        }
        file.write(bytes);
    }
    return events;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int labelsADay = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 2000;
    const int days = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 730;
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("PrintLog"));
    QDir().mkpath(folder);
    const QDate today = QDate::currentDate();
    const qint64 events = generate(folder, labelsADay, days, today.addDays(-1));

    LabelHistory history(dir.filePath(QStringLiteral("label-history.db")));
    history.setFolder(folder);
    QElapsedTimer clock;
    clock.start();
    // As a station new to the lab: the index caught up in the idle steps the station takes.
    int steps = 0;
    qint64 longest = 0;
    for (QElapsedTimer step;; ++steps) {
        step.start();
        if (!history.catchUp(HistoryCatchUp::stepBytes))
            break;
        longest = std::max(longest, step.nsecsElapsed());
    }
    std::fprintf(stderr, "index caught up in %.1f s: %d steps, the longest %.0f ms\n",
                 double(clock.nsecsElapsed()) / 1e9, steps, double(longest) / 1e6);

    constexpr int lookups = 200;
    clock.restart();
    for (int i = 0; i < lookups; ++i) {
        const int day = int(QRandomGenerator::global()->bounded(days));
        if (history.ofRequest(requestOf(day, i % (labelsADay / labelsPerRequest))).isEmpty())
            qFatal("a generated request has no history");
    }
    const double lookupMs = double(clock.nsecsElapsed()) / 1e6 / lookups;

    // Recording: labels through a plain stage write and, in turns, with their events, so the
    // disk's sync times fall alike on both.
    LabelLedger journal(dir.filePath(QStringLiteral("label-ledger.db")),
                        [] { return QStringLiteral("bench"); });
    NoNotices notices;
    HistoryRecorder recorder(history, journal, notices);
    constexpr int labels = 400;
    const auto label = [](int i) { return QStringLiteral("N%1\n0").arg(i); };
    qint64 plain = 0;
    qint64 recorded = 0;
    for (int i = 0; i < labels; ++i) {
        clock.restart();
        journal.setStage(QStringLiteral("P%1").arg(i / labelsPerRequest), label(i),
                         LabelLedger::Stage::Printed);
        plain += clock.nsecsElapsed();
        clock.restart();
        const QString key = QStringLiteral("Q%1").arg(i / labelsPerRequest);
        LabelEvent e = recorder.event(LabelEvent::Kind::Printed, key,
                                      QStringLiteral("N%1").arg(i + labels), 0);
        e.copies = 1;
        recorder.owePrinted(key, label(i + labels), e);
        if (i % labelsPerRequest == labelsPerRequest - 1 && !recorder.flush())
            qFatal("the history could not be written: %s", qPrintable(recorder.fault()));
        recorded += clock.nsecsElapsed();
    }
    const double recordMs = double(recorded - plain) / 1e6 / labels;

    const QDate month = today.addMonths(-1);
    QFile csv(dir.filePath(QStringLiteral("month.csv")));
    if (!csv.open(QIODevice::WriteOnly))
        qFatal("cannot write the CSV");
    clock.restart();
    QString error;
    HistoryReport(folder, dir.filePath(QStringLiteral("label-history.db")))
        .run({QDate(month.year(), month.month(), 1).toString(Qt::ISODate),
              QDate(month.year(), month.month(), month.daysInMonth()).toString(Qt::ISODate)},
             csv, error);
    const double csvSeconds = double(clock.nsecsElapsed()) / 1e9;
    if (!error.isEmpty() || csv.size() < 1000)
        qFatal("the month's CSV failed: %s", qPrintable(error));

    std::printf("label history: lookup %.2f ms over %lld events, record %.2f ms a label, a month "
                "to CSV %.2f s\n",
                lookupMs, static_cast<long long>(events), recordMs, csvSeconds);
    return 0;
}
