// Lab database figures on a generated reference database of 100,000 requests (SQLite dialect):
// the label lookup of a 20-label request, the recent list, one request's exam rows, and the
// recording of a 20-row barcode.
//   bench_labdb [requests]

#include "BenchStation.h"
#include "app/LabDatabaseFactory.h"
#include "labdb/LabDbBuilder.h"
#include "labels/BarcodeRecorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <functional>

namespace {

QTextStream out(stdout);

using Bench::medianMs;

void report(const QString& what, double ms, int runs) {
    out << qSetFieldWidth(44) << Qt::left << what << qSetFieldWidth(0) << Qt::right
        << QString::number(ms, 'f', 3) << " ms  (median of " << runs << ")\n";
    out.flush();
}

LabRequest bigRequest(const QString& refNum, const QDateTime& when, bool oneBarcode) {
    LabRequest request;
    request.refNum = refNum;
    request.transDate = when;
    request.idNum = QStringLiteral("24-99999");
    request.patient = {QStringLiteral("0999999"), QStringLiteral("Villanueva"),
                       QStringLiteral("Teresa"),  QStringLiteral("Pascual"),
                       QStringLiteral("ICU-2"),   QStringLiteral("47"),
                       QStringLiteral("F")};
    for (int i = 0; i < 20; ++i) {
        LabItem item;
        item.exam = QStringLiteral("Panel exam %1").arg(i + 1);
        item.instrument = QStringLiteral("ChemLine 680");
        item.itemId = QStringLiteral("8%1").arg(i, 3, 10, QLatin1Char('0'));
        item.barcode = oneBarcode
                           ? refNum + QStringLiteral("01")
                           : refNum + QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0'));
        item.specimenId = QStringLiteral("2");
        item.sectionId = QStringLiteral("2");
        request.items.append(item);
    }
    return request;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int requests = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lab.db"));
    const QDateTime now = QDateTime::currentDateTime();

    QElapsedTimer timer;
    timer.start();
    LabDbBuilder::create(path);
    {
        LabDbBuilder builder(path);
        builder.generate(requests, now);
        builder.addRequest(bigRequest(QStringLiteral("9000000001"), now.addSecs(-30), false));
        builder.addRequest(bigRequest(QStringLiteral("9000000002"), now.addSecs(-20), true));
    }
    out << "Generated " << requests << " requests in " << timer.elapsed() << " ms\n";

    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
        database.setDatabaseName(path);
        if (!database.open()) {
            out << "Cannot open " << path << '\n';
            return 1;
        }
        const std::unique_ptr<LabDatabase> db = makeLabDatabase(QSqlDatabase::defaultConnection);

        int rows = 0;
        const int runs = 200;
        report(
            QStringLiteral("getRequests, 20-label request"),
            medianMs(runs,
                     [&] { rows = db->getRequests(QStringLiteral("9000000001"), 3).rowCount(); }),
            runs);
        out << "  (" << rows << " labels)\n";
        report(QStringLiteral("getRequests, a label barcode (kind 3)"),
               medianMs(runs, [&] { db->getRequests(QStringLiteral("900000000107"), 3); }), runs);
        report(QStringLiteral("recentRequests"),
               medianMs(50, [&] { rows = db->recentRequests().rowCount(); }), 50);
        out << "  (" << rows << " rows)\n";
        report(QStringLiteral("requestExams, 20-exam request"),
               medianMs(runs,
                        [&] { rows = db->requestExams(QStringLiteral("9000000001")).rowCount(); }),
               runs);
        out << "  (" << rows << " rows)\n";

        QString barcode = QStringLiteral("900000000201");
        timer.restart();
        const BarcodeRecording first = saveBarcodes(*db, barcode);
        out << qSetFieldWidth(44) << Qt::left << "saveBarcodes, 20-row barcode, first"
            << qSetFieldWidth(0) << Qt::right << QString::number(timer.nsecsElapsed() / 1e6, 'f', 3)
            << " ms  ("
            << (first.outcome == BarcodeRecording::Outcome::Recorded ? "recorded" : "FAILED")
            << ")\n";
        report(QStringLiteral("saveBarcodes, 20-row barcode"),
               medianMs(20,
                        [&] {
                            QString text = QStringLiteral("900000000201");
                            saveBarcodes(*db, text);
                        }),
               20);
    }
    QSqlDatabase::removeDatabase(QSqlDatabase::defaultConnection);
    return 0;
}
