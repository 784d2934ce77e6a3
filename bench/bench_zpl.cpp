// ZPL printing figures: from Print (the print road, as the Print button drives it) to the last
// byte at the simulated network label printer, for a request of 1 label and one of 20, and the
// bytes each label takes, through
//   (a) ZPL straight to the printer over TCP (status asked before, and until the label is out),
//   (b) ZPL through a raw spooler queue, followed to the job's end,
//   (c) a PDF through the spooler's stock ZPL driver (raster filters), followed likewise.
// (b) and (c) need the spooler: run as root, scripts/cups.sh starts it and makes the queues.
//
//   bench_zpl [runs]        default 5 runs of each (the median is shown)
#include "SimulatedLabelPrinter.h"
#include "app/DbConnection.h"
#include "app/StationActivity.h"
#include "labdb/LabDbBuilder.h"
#include "lookup/ExamChecklistModel.h"
#include "lookup/RequestFinder.h"
#include "queue/Notices.h"
#include "queue/StationCore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

class QuietNotices : public Notices {
public:
    void notice(const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
};

qint64 steadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Road {
    QString number;
    int labels;
};

struct Figures {
    double ms = 0;       // median, Print to the last byte at the printer
    double bytes = 0;    // per label
    bool failed = false; // a print did not complete
};

class Bench {
public:
    Bench(const QTemporaryDir& dir, int runs)
        : m_dir(dir)
        , m_runs(runs) {
        const QString lab = dir.filePath(QStringLiteral("lab.db"));
        LabDbBuilder::create(lab);
        LabDbBuilder builder(lab);
        // Requests enough for every run of every road: one of 1 label and one of 20 per run.
        int serial = 0;
        for (const char* road : {"A", "B", "C"}) {
            for (int run = 0; run < runs; ++run) {
                for (int labels : {1, 20}) {
                    LabRequest r;
                    r.refNum =
                        QStringLiteral("%1%2-%3").arg(QLatin1String(road)).arg(labels).arg(run);
                    r.transDate = QDateTime::currentDateTime().addSecs(-600);
                    r.idNum = r.refNum;
                    r.patient = {QStringLiteral("HN%1").arg(serial),
                                 QStringLiteral("DELA CRUZ"),
                                 QStringLiteral("JUANA"),
                                 QStringLiteral("SANTOS"),
                                 QStringLiteral("W3"),
                                 QStringLiteral("42"),
                                 QStringLiteral("F")};
                    for (int k = 0; k < labels; ++k) {
                        LabItem item;
                        item.exam = QStringLiteral("EXAM%1").arg(k);
                        item.itemId = item.exam;
                        item.instrument = QStringLiteral("CHEM");
                        item.barcode =
                            QStringLiteral("24%1").arg(++serial, 8, 10, QLatin1Char('0'));
                        item.sectionId = QStringLiteral("S1");
                        item.specimenId = QStringLiteral("1");
                        r.items.append(item);
                    }
                    builder.addRequest(r);
                }
            }
        }
        if (!m_connection.open({QStringLiteral("sqlite:") + lab, {}, {}, {}}))
            qFatal("cannot open the lab database: %s", qPrintable(m_connection.failureReason()));
        m_core = std::make_unique<StationCore>(m_connection.lab(), m_activity, m_notices,
                                               dir.filePath(QStringLiteral("PrintLog")));
        QDir().mkpath(m_core->log.folder());
    }

    void pointAt(const QString& printer) {
        QFile source(QStringLiteral(QUILLON_SOURCE_DIR "/src/labels/LabBarcodeLabel.rpt"));
        source.open(QIODevice::ReadOnly);
        QString text = QString::fromUtf8(source.readAll());
        static const QRegularExpression key(QStringLiteral("\"printer\"\\s*:\\s*\"[^\"]*\""));
        text.replace(key, QStringLiteral("\"printer\": \"%1\"").arg(printer));
        const QString path = m_dir.filePath(QStringLiteral("LabBarcodeLabel.rpt"));
        QFile out(path);
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(text.toUtf8());
        out.close();
        m_core->printing.setTemplatePath(path);
    }

    // Print of the request road<labels>-<run>, each run timed to the last byte at the printer.
    Figures measure(SimulatedLabelPrinter& printer, char road, int labels) {
        Figures figures;
        std::vector<double> times;
        qint64 bytes = 0;
        for (int run = 0; run < m_runs; ++run) {
            const QString number =
                QStringLiteral("%1%2-%3").arg(QLatin1Char(road)).arg(labels).arg(run);
            const FoundRequest found = findRequest(m_connection.lab(), number, m_activity);
            ExamChecklistModel entries;
            for (const QString& entry : found.entries)
                entries.appendEntry(entry);
            entries.tickAll();
            PrintJobOrder order;
            order.key = number;
            order.request = &found.request;
            order.entries = &entries;
            order.copiesText = [] { return QStringLiteral("1"); };
            printer.clear();
            const qint64 start = steadyNow();
            const PrintJobOutcome outcome = m_core->road.print(order);
            if (outcome.end != PrintJobOutcome::End::Complete) {
                std::fprintf(stderr, "  %s did not print: %s\n", qPrintable(number),
                             qPrintable(outcome.reason));
                figures.failed = true;
                return figures;
            }
            times.push_back(double(printer.lastByteAt() - start) / 1e6);
            for (const QByteArray& job : printer.jobs())
                bytes += job.size();
        }
        figures.ms = median(times);
        figures.bytes = double(bytes) / (m_runs * labels);
        return figures;
    }

private:
    const QTemporaryDir& m_dir;
    int m_runs;
    DbConnection m_connection;
    StationActivity m_activity;
    QuietNotices m_notices;
    std::unique_ptr<StationCore> m_core;
};

bool spooler(const QStringList& arguments) {
    QProcess cups;
    cups.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    cups.start(QStringLiteral("bash"),
               QStringList{QStringLiteral(QUILLON_SOURCE_DIR "/scripts/cups.sh")} + arguments);
    return cups.waitForFinished(60000) && cups.exitCode() == 0;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    QTemporaryDir dir;
    qputenv("windir", (dir.path() + QStringLiteral("\\Windows")).toLocal8Bit());
    Bench bench(dir, runs);
    SimulatedLabelPrinter printer;
    const bool withSpooler = spooler({QStringLiteral("start")}) &&
                             spooler({QStringLiteral("zpl"), QString::number(printer.port())});

    struct Row {
        const char* name;
        char road;
        QString destination;
        bool needsSpooler;
    };
    const Row rows[] = {
        {"(a) ZPL over TCP", 'A', printer.address(), false},
        {"(b) ZPL through a raw queue", 'B', QStringLiteral("zpl:queue:LabelRaw"), true},
        {"(c) PDF through the ZPL driver", 'C', QStringLiteral("LabelZPL"), true},
    };
    std::printf("ZPL printing, shipped 50 x 25 mm template at 203 dpi, median of %d runs\n", runs);
    std::printf("  %-32s %14s %14s %12s %12s\n", "road", "1 label ms", "20 labels ms", "ms a label",
                "bytes a label");
    double perLabel[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        const Row& row = rows[i];
        if (row.needsSpooler && !withSpooler) {
            std::printf("  %-32s skipped: the spooler could not be started (run as root)\n",
                        row.name);
            continue;
        }
        bench.pointAt(row.destination);
        const Figures one = bench.measure(printer, row.road, 1);
        const Figures twenty = bench.measure(printer, row.road, 20);
        if (one.failed || twenty.failed) {
            std::printf("  %-32s failed\n", row.name);
            continue;
        }
        perLabel[i] = twenty.ms / 20;
        std::printf("  %-32s %14.1f %14.1f %12.2f %12.0f\n", row.name, one.ms, twenty.ms,
                    perLabel[i], twenty.bytes);
    }
    if (perLabel[0] > 0 && perLabel[2] > 0)
        std::printf("  (c) per label / (a) per label: %.1fx (aim: at least 10x); aim for (a): "
                    "under 400 bytes a label\n",
                    perLabel[2] / perLabel[0]);
    return 0;
}
