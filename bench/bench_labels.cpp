// Label printing figures: how long one label takes to render, and one whole print run of
// printBarcodeLabel into a PDF folder (template read, filled, rendered, written). Renders the same
// records with gLabels' batch renderer for comparison when it is installed.
//
//   bench_labels [labels]        default 1000 labels

#include "labels/LabelPrinting.h"
#include "labels/LabelRenderer.h"
#include "labels/LabelTemplate.h"
#include "labels/PrintJob.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int peerBatch = 1000; // gLabels' memory grows steeply above this many records

struct Record {
    QString barcode, name, hospNum, instrument, transDate, room, ageSex;
    QStringList values() const {
        return {barcode, name, hospNum, instrument, transDate, room, ageSex};
    }
};

std::vector<Record> makeRecords(int count) {
    const QStringList surnames{"SANTOS",     "DELA CRUZ", "REYES",  "GARCIA",   "MENDOZA",
                               "VILLANUEVA", "BAUTISTA",  "AQUINO", "CASTILLO", "NAVARRO"};
    const QStringList given{"ANA", "JUANA", "PEDRO", "MARIA LUISA", "JOSE", "ROSARIO", "MIGUEL"};
    const QStringList instruments{"CHEM", "HEMA", "URINE", "SERO", "COAG"};
    std::vector<Record> records;
    records.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        Record r;
        r.barcode = QStringLiteral("24%1").arg(1150000 + i, 8, 10, QLatin1Char('0'));
        r.name = surnames.at(i % surnames.size()) + QLatin1Char(' ') + given.at(i % given.size());
        r.hospNum = QString::number(100000 + i * 7);
        r.instrument = instruments.at(i % instruments.size());
        r.transDate = QStringLiteral("2024-01-15 %1:%2:00")
                          .arg(8 + i / 60 % 10, 2, 10, QLatin1Char('0'))
                          .arg(i % 60, 2, 10, QLatin1Char('0'));
        r.room = QStringLiteral("W%1").arg(i % 12 + 1);
        r.ageSex = QStringLiteral("%1/%2")
                       .arg(i % 90 + 1)
                       .arg(i % 2 ? QLatin1Char('F') : QLatin1Char('M'));
        records.push_back(r);
    }
    return records;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, std::size_t(p * double(v.size())))];
}

void line(const char* what, double ms) {
    std::printf("  %-52s %9.3f ms\n", what, ms);
}

QString shippedTemplate() {
    const QString beside =
        QCoreApplication::applicationDirPath() + QStringLiteral("/LabBarcodeLabel.rpt");
    return QFile::exists(beside)
               ? beside
               : QStringLiteral(QUILLON_SOURCE_DIR "/src/labels/LabBarcodeLabel.rpt");
}

// All labels as pages of one PDF in memory, as the peer writes them: per-label render times.
std::vector<double> renderLabels(const std::vector<Record>& records, double& wholeMs) {
    const auto label =
        std::make_shared<const LabelTemplate>(LabelTemplate::load(shippedTemplate()));
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    QElapsedTimer whole;
    whole.start();
    QPdfWriter writer(&pdf);
    writer.setResolution(PrintJob::pdfResolution);
    LabelRenderer::preparePage(writer, *label);
    QPainter painter(&writer);
    std::vector<double> times;
    times.reserve(records.size());
    QElapsedTimer one;
    for (std::size_t i = 0; i < records.size(); ++i) {
        one.start();
        if (i > 0)
            writer.newPage();
        LabelRenderer::render(painter, *label, records[i].values(), LabelPrinting::reportTitle());
        times.push_back(double(one.nsecsElapsed()) / 1e6);
    }
    painter.end();
    wholeMs = double(whole.nsecsElapsed()) / 1e6;
    std::printf("  (one PDF of %d pages, %lld bytes)\n", int(records.size()), pdf.size());
    return times;
}

// printBarcodeLabel, one copy per record, each into a new PDF file of a PDF folder.
std::vector<double> printLabels(const std::vector<Record>& records, const QTemporaryDir& dir) {
    QFile source(shippedTemplate());
    source.open(QIODevice::ReadOnly);
    QString text = QString::fromUtf8(source.readAll());
    text.replace(QRegularExpression(QStringLiteral("\"printer\"\\s*:\\s*\"[^\"]*\"")),
                 QStringLiteral("\"printer\": \"pdf:out\""));
    const QString path = dir.filePath(QStringLiteral("LabBarcodeLabel.rpt"));
    QFile target(path);
    target.open(QIODevice::WriteOnly);
    target.write(text.toUtf8());
    target.close();

    LabelPrinting printing;
    printing.setTemplatePath(path);
    std::vector<double> times;
    times.reserve(records.size());
    QElapsedTimer one;
    for (const Record& r : records) {
        one.start();
        printing.printBarcodeLabel(r.barcode, r.name, r.hospNum, r.instrument, r.transDate, r.room,
                                   r.ageSex, 1);
        times.push_back(double(one.nsecsElapsed()) / 1e6);
    }
    const int files = int(QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files).size());
    std::printf("  (%d PDF files written)\n", files);
    return times;
}

QString csvField(const QString& value) {
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// Runs gLabels' batch renderer on the records in batches; the wall time in ms, or -1.
double runPeer(const std::vector<Record>& records, const QString& glabels,
               const QTemporaryDir& dir) {
    QElapsedTimer total;
    qint64 ns = 0;
    for (std::size_t start = 0; start < records.size(); start += peerBatch) {
        const std::size_t end = std::min(records.size(), start + peerBatch);
        const QString csv = dir.filePath(QStringLiteral("records-%1.csv").arg(start));
        QFile file(csv);
        file.open(QIODevice::WriteOnly);
        QTextStream out(&file);
        out << "name,hn,group,barcode\n";
        for (std::size_t i = start; i < end; ++i)
            out << csvField(records[i].name) << ',' << csvField(records[i].hospNum) << ','
                << csvField(records[i].instrument) << ',' << csvField(records[i].barcode) << '\n';
        out.flush();
        file.close();

        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        total.start();
        process.start(glabels, {QStringLiteral("-i"), csv, QStringLiteral("-o"),
                                dir.filePath(QStringLiteral("peer-%1.pdf").arg(start)),
                                QStringLiteral(QUILLON_SOURCE_DIR "/bench/peer-label.glabels")});
        if (!process.waitForFinished(600000) || process.exitCode() != 0) {
            std::printf("  gLabels failed: %s\n", qPrintable(process.errorString()));
            return -1;
        }
        ns += total.nsecsElapsed();
        process.readAllStandardOutput();
    }
    return double(ns) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 1000;
    const std::vector<Record> records = makeRecords(count);
    QTemporaryDir dir;

    std::printf("Label printing, %d labels, template %s\n", count, qPrintable(shippedTemplate()));
    double wholeRender = 0;
    const std::vector<double> render = renderLabels(records, wholeRender);
    line("render one label (median)", median(render));
    line("render one label (95th percentile)", percentile(render, 0.95));
    line("render all into one PDF, per label (mean)", wholeRender / count);

    const std::vector<double> print = printLabels(records, dir);
    line("printBarcodeLabel, one copy into a PDF folder (median)", median(print));
    line("printBarcodeLabel, one copy (95th percentile)", percentile(print, 0.95));
    std::printf("  aims: render <= 2 ms, one copy <= 10 ms\n");

    std::printf("\nPeer: gLabels batch renderer (glabels-3-batch), same records, batches of %d\n",
                peerBatch);
    const QString glabels = QStandardPaths::findExecutable(QStringLiteral("glabels-3-batch"));
    if (glabels.isEmpty()) {
        std::printf("  glabels-3-batch is not installed: run bench/run.sh, or apt-get install "
                    "glabels, to compare.\n");
        return 0;
    }
    const std::vector<Record> one(records.begin(), records.begin() + 1);
    const double startUp = runPeer(one, glabels, dir);
    const double peer = runPeer(records, glabels, dir);
    if (peer < 0 || startUp < 0)
        return 1;
    const double peerPerLabel = peer / count;
    line("gLabels, one label alone (start-up included)", startUp);
    line("gLabels, whole run per label (mean)", peerPerLabel);
    if (count > 1)
        line("gLabels, per label beyond the first", (peer - startUp) / (count - 1));
    std::printf("\nRatios (gLabels per label / ours per label):\n");
    std::printf("  against our render (median)          %8.1fx\n", peerPerLabel / median(render));
    std::printf("  against our whole copy (median)      %8.1fx\n", peerPerLabel / median(print));
    std::printf("  both writing one PDF of all labels   %8.1fx\n",
                peerPerLabel / (wholeRender / count));
    return 0;
}
