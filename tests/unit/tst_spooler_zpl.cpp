// Labels through the spooler fixture's queues to the simulated network ZPL printer: a raw queue
// taking the station's ZPL, and the stock ZPL label driver taking a PDF through the raster
// filters. The station follows each job to its end: a label returns only once its job is done,
// a stopped queue refuses it, and a job that does not end in time is cancelled.
#include "SimulatedLabelPrinter.h"
#include "ZplCheck.h"
#include "app/Failure.h"
#include "labels/LabelPrinting.h"
#include "tst_labeltools.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <thread>

class SpoolerZplTest : public QObject {
    Q_OBJECT

private:
    static QString cups(const QStringList& arguments) {
        return labeltest::run(QStringLiteral("bash"),
                              QStringList{QStringLiteral(QUILLON_SOURCE_DIR "/scripts/cups.sh")} +
                                  arguments);
    }
    // The queue's jobs not yet ended.
    static QString openJobs(const QString& queue) {
        return labeltest::run(QStringLiteral("lpstat"), {QStringLiteral("-o"), queue}).trimmed();
    }
    QString writeTemplate(const QString& printer, const QString& settings = QString()) {
        QFile shipped(QCoreApplication::applicationDirPath() +
                      QStringLiteral("/LabBarcodeLabel.rpt"));
        if (!shipped.open(QIODevice::ReadOnly))
            qFatal("the shipped label template is not beside the test");
        QString text = QString::fromUtf8(shipped.readAll());
        text.replace(QRegularExpression(QStringLiteral("\"printer\"\\s*:\\s*\"[^\"]*\",")),
                     QStringLiteral("\"printer\": \"%1\", %2").arg(printer, settings));
        const QString path = m_dir.filePath(QStringLiteral("LabBarcodeLabel.rpt"));
        labeltest::writeFile(path, text.toUtf8());
        return path;
    }
    static void print(LabelPrinting& printing, const QString& barcode, qint16 copies) {
        printing.printBarcodeLabel(barcode, QStringLiteral("SANTOS, ANA"), QStringLiteral("778899"),
                                   QStringLiteral("HEMA"), QStringLiteral("2024-01-15 10:30:45"),
                                   QStringLiteral("ER"), QStringLiteral("/"), copies);
    }
    static void expectFailure(const std::function<void()>& action, const QString& message) {
        try {
            action();
            QFAIL("no failure");
        } catch (const Failure& failure) {
            QVERIFY2(failure.description().contains(message), qPrintable(failure.description()));
        }
    }

    QTemporaryDir m_dir;
    std::unique_ptr<SimulatedLabelPrinter> m_printer;

private Q_SLOTS:
    void initTestCase() {
        m_printer = std::make_unique<SimulatedLabelPrinter>();
        cups({QStringLiteral("zpl"), QString::number(m_printer->port())});
    }

    void init() { m_printer->clear(); }

    // The label is at the printer when printBarcodeLabel returns, once per copy, and reads back.
    void throughTheSpooler_data() {
        QTest::addColumn<QString>("printer");
        QTest::newRow("raw queue, the station's ZPL") << "zpl:queue:LabelRaw";
        QTest::newRow("ZPL driver, a PDF through the raster filters") << "LabelZPL";
    }
    void throughTheSpooler() {
        QFETCH(QString, printer);
        LabelPrinting printing;
        printing.setTemplatePath(writeTemplate(printer));
        printing.checkReady();
        print(printing, QStringLiteral("2401150042"), 2);
        QCOMPARE(m_printer->labels().size(), 2);
        QCOMPARE(openJobs(printer.section(QLatin1Char(':'), -1)), QString());
        if (const QString missing = ZplCheck::missing(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        QCOMPARE(ZplCheck::scan(m_printer->jobs(), QSizeF(50, 25), 203),
                 (QList<QStringList>{{"2401150042"}, {"2401150042"}}));
    }

    // A queue that is stopped or takes no jobs refuses the label before any job is made.
    void refusingQueue_data() {
        QTest::addColumn<QString>("breaks");
        QTest::addColumn<QString>("mends");
        QTest::addColumn<QString>("message");
        QTest::newRow("stopped") << "cupsdisable"
                                 << "cupsenable"
                                 << "is stopped";
        QTest::newRow("rejecting jobs") << "cupsreject"
                                        << "cupsaccept"
                                        << "does not accept jobs";
    }
    void refusingQueue() {
        QFETCH(QString, breaks);
        QFETCH(QString, mends);
        QFETCH(QString, message);
        labeltest::run(breaks, {QStringLiteral("LabelRaw")});
        LabelPrinting printing;
        printing.setTemplatePath(writeTemplate(QStringLiteral("zpl:queue:LabelRaw")));
        const QString expected = QStringLiteral("The label printer queue \"LabelRaw\" ") + message;
        expectFailure([&] { printing.checkReady(); }, expected);
        expectFailure([&] { print(printing, QStringLiteral("2401150042"), 1); }, expected);
        labeltest::run(mends, {QStringLiteral("LabelRaw")});
        QCOMPARE(openJobs(QStringLiteral("LabelRaw")), QString());
        QVERIFY(m_printer->jobs().isEmpty());
        printing.checkReady();
    }

    // A queue stopped while its job waits for the printer fails the label at once, not at the
    // time-out, and cancels the job: it never prints once the queue runs again.
    void queueStoppedWhileTheJobWaits() {
        {
            SimulatedLabelPrinter gone; // its port, closed again: the job waits for the device
            cups({QStringLiteral("zpl"), QString::number(gone.port())});
        }
        LabelPrinting printing;
        printing.setTemplatePath(writeTemplate(QStringLiteral("zpl:queue:LabelRaw"),
                                               QStringLiteral("\"timeout\": 60,")));
        std::thread stop([] {
            QThread::sleep(1);
            labeltest::run(QStringLiteral("cupsdisable"), {QStringLiteral("LabelRaw")});
        });
        expectFailure([&] { print(printing, QStringLiteral("2401150042"), 1); },
                      QStringLiteral("is stopped"));
        stop.join();
        QCOMPARE(openJobs(QStringLiteral("LabelRaw")), QString());
        labeltest::run(QStringLiteral("cupsenable"), {QStringLiteral("LabelRaw")});
        cups({QStringLiteral("zpl"), QString::number(m_printer->port())});
        // Enabled again and pointed at a printer, the queue prints nothing it was given.
        QTest::qWait(2000);
        QVERIFY(m_printer->jobs().isEmpty());
    }

    // A job that has not ended within the template's time-out fails the label and is cancelled,
    // so it never prints later unaccounted.
    void unfinishedJobIsCancelled() {
        {
            SimulatedLabelPrinter gone; // its port, closed again: the device refuses
            cups({QStringLiteral("zpl"), QString::number(gone.port())});
        }
        LabelPrinting printing;
        printing.setTemplatePath(
            writeTemplate(QStringLiteral("zpl:queue:LabelRaw"), QStringLiteral("\"timeout\": 2,")));
        expectFailure([&] { print(printing, QStringLiteral("2401150042"), 1); },
                      QStringLiteral("within 2 seconds; the job was cancelled"));
        QCOMPARE(openJobs(QStringLiteral("LabelRaw")), QString());
        cups({QStringLiteral("zpl"), QString::number(m_printer->port())});
        QVERIFY(m_printer->jobs().isEmpty());
    }
};

QTEST_MAIN(SpoolerZplTest)
#include "tst_spooler_zpl.moc"
