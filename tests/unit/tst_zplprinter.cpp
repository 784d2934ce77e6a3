// A network ZPL printer (the simulated one on a loopback port) driven by the real print road over
// a real lab database file: its host status read for every fault, a refused, dropped, silent or
// slow printer never lets a label count, and a label counts only once the printer reports it out.
#include "RoadWorld.h"
#include "SimulatedLabelPrinter.h"
#include "StationTestSupport.h"
#include "TestData.h"
#include "ZplCheck.h"
#include "app/Failure.h"
#include "labdb/LabDbBuilder.h"
#include "labels/ZplNetworkPrinter.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace TestData;
using End = PrintJobOutcome::End;
using Sim = SimulatedLabelPrinter;

Q_DECLARE_METATYPE(ZplHostStatus)

class ZplPrinterTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void hostStatus_data();
    void hostStatus();
    void faultsStopThePrint_data();
    void faultsStopThePrint();
    void aLabelCountsOnceItIsOut_data();
    void aLabelCountsOnceItIsOut();

private:
    // The shipped template, printing to the simulated printer with extra settings.
    void writeTemplate(const QString& settings = QString()) const;
    QStringList recorded() const { return recordedBarcodes(m_world->lab()); }
    QStringList logged() const { return loggedNumbers(m_world->printLogFolder()); }
    // The barcodes of the labels the printer printed, read back by the independent renderer.
    QStringList printedBarcodes() const {
        QStringList all;
        for (const QStringList& job : ZplCheck::scan(m_printer->labels(), QSizeF(50, 25), 203))
            all.append(job);
        return all;
    }

    std::unique_ptr<TestWorld> m_world;
    std::unique_ptr<RoadWorld> m_road;
    std::unique_ptr<SimulatedLabelPrinter> m_printer;
    const QString m_day = QStringLiteral("2026-12-07 23:50:00");
};

void ZplPrinterTest::init() {
    m_world = std::make_unique<TestWorld>();
    LabRequest r = request(QStringLiteral("T100C"), 0,
                           {item(QStringLiteral("CBC"), "B1001"),
                            item(QStringLiteral("FBS"), "B1002", QStringLiteral("CHEM")),
                            item(QStringLiteral("UA"), "B1003", QStringLiteral("URINE"))});
    r.transDate = QDateTime::fromString(m_day, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    m_world->createLab().addRequest(r);
    m_printer = std::make_unique<SimulatedLabelPrinter>();
    writeTemplate();
    m_road = std::make_unique<RoadWorld>(m_world->path());
}

void ZplPrinterTest::cleanup() {
    m_road.reset();
    m_printer.reset();
    m_world.reset();
}

void ZplPrinterTest::writeTemplate(const QString& settings) const {
    QFile source(QStringLiteral(QUILLON_SOURCE_DIR "/src/labels/LabBarcodeLabel.rpt"));
    QVERIFY(source.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(source.readAll());
    static const QRegularExpression printer(QStringLiteral("\"printer\"\\s*:\\s*\"[^\"]*\","));
    text.replace(printer,
                 QStringLiteral("\"printer\": \"%1\", %2").arg(m_printer->address(), settings));
    QFile out(m_world->path() + QStringLiteral("/LabBarcodeLabel.rpt"));
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(text.toUtf8());
}

// Every flag of the host status, read as a printer writes it.
void ZplPrinterTest::hostStatus_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("formats");
    QTest::addColumn<int>("labels");
    // As the printer's manual shows it: paper out, 3 formats waiting, 12 labels left.
    QTest::newRow("written out by hand")
        << QByteArray("\x02"
                      "030,1,0,1245,003,0,0,0,000,0,0,0\x03\r\n\x02"
                      "001,0,0,0,1,2,6,0,00000012,1,000\x03\r\n\x02"
                      "1234,0\x03\r\n")
        << "is out of paper" << 3 << 12;
    const QList<std::pair<unsigned, QString>> faults{
        {0, QString()},
        {Sim::PaperOut, QStringLiteral("is out of paper")},
        {Sim::Paused, QStringLiteral("is paused")},
        {Sim::HeadOpen, QStringLiteral("has its print head open")},
        {Sim::RibbonOut, QStringLiteral("is out of ribbon")},
        {Sim::OverTemperature, QStringLiteral("is too hot")},
        {Sim::UnderTemperature, QStringLiteral("is too cold")},
        {Sim::BufferFull, QStringLiteral("has a full receive buffer")},
    };
    for (const auto& [flag, fault] : faults)
        QTest::addRow("flag %u", flag) << Sim::hostStatus(flag, 2, 1) << fault << 2 << 1;
}

void ZplPrinterTest::hostStatus() {
    QFETCH(QByteArray, answer);
    QFETCH(QString, fault);
    QFETCH(int, formats);
    QFETCH(int, labels);
    // Nothing is read from an answer still on its way.
    for (qsizetype cut : {qsizetype(0), answer.size() / 2, answer.size() - 3})
        QVERIFY(!ZplHostStatus::parse(answer.left(cut)));
    const std::optional<ZplHostStatus> status = ZplHostStatus::parse(answer);
    QVERIFY(status);
    QVERIFY2(status->fault().startsWith(fault) && (fault.isEmpty() == status->fault().isEmpty()),
             qPrintable(status->fault()));
    QCOMPARE(status->formatsInBuffer, formats);
    QCOMPARE(status->labelsRemaining, labels);
    QVERIFY(!status->idle());
}

// Whatever keeps the printer from printing the label stops the print with a message naming the
// printer and the condition: nothing is recorded or logged for the label, nothing prints while
// the fault lasts, and once it is mended the request prints whole.
void ZplPrinterTest::faultsStopThePrint_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message"); // after "The label printer at 127.0.0.1:<port> "
    QTest::addColumn<int>("duplicates");  // labels that come out after the fault, printed again
    QTest::newRow("out of paper") << "paper"
                                  << "is out of paper." << 0;
    QTest::newRow("paused") << "paused"
                            << "is paused." << 0;
    QTest::newRow("head open") << "head"
                               << "has its print head open." << 0;
    QTest::newRow("ribbon out") << "ribbon"
                                << "is out of ribbon." << 0;
    QTest::newRow("too hot") << "hot"
                             << "is too hot" << 0;
    QTest::newRow("buffer full") << "buffer"
                                 << "has a full receive buffer." << 0;
    QTest::newRow("connection dropped mid-job") << "drop"
                                                << "lost the connection" << 0;
    QTest::newRow("never answers status") << "silent"
                                          << "did not report its status within 3 seconds" << 0;
    // Still printing when the time is up: that label comes out, and again on the retry.
    QTest::newRow("slower than the time-out")
        << "slow"
        << "did not report the label printed within 1 second" << 1;
    QTest::newRow("nothing listens") << "gone"
                                     << "cannot be reached: Connection refused" << 0;
    // The label was sent when the fault came: cancelled, it never comes out once mended.
    const auto cancelled = [](const char* what) -> QString {
        return QLatin1String(what) + QStringLiteral(". What it still held was cancelled.");
    };
    QTest::newRow("paper runs out with the label")
        << "paper with" << cancelled("is out of paper, and did not print the label") << 0;
    QTest::newRow("head opened with the label")
        << "head with" << cancelled("has its print head open, and did not print the label") << 0;
    QTest::newRow("falls silent with the label")
        << "silent with"
        << "did not report its status within 1 second. It was told to cancel" << 0;
}

void ZplPrinterTest::faultsStopThePrint() {
    QFETCH(QString, fault);
    QFETCH(QString, message);
    QFETCH(int, duplicates);
    Sim& printer = *m_printer;
    const quint16 port = printer.port();
    const std::map<QString, unsigned> flags{
        {QStringLiteral("paper"), Sim::PaperOut},      {QStringLiteral("paused"), Sim::Paused},
        {QStringLiteral("head"), Sim::HeadOpen},       {QStringLiteral("ribbon"), Sim::RibbonOut},
        {QStringLiteral("hot"), Sim::OverTemperature}, {QStringLiteral("buffer"), Sim::BufferFull}};
    writeTemplate(QStringLiteral("\"timeout\": 1,"));
    const auto breakIt = [&] {
        if (const QString what = fault.section(QLatin1Char(' '), 0, 0); what != fault)
            printer.setFaultsWithNextLabel(flags.count(what) ? flags.at(what) : 0u,
                                           what == QLatin1String("silent"));
        else if (flags.count(fault))
            printer.setFaults(flags.at(fault));
        else if (fault == QLatin1String("drop"))
            printer.setDropAfter(100);
        else if (fault == QLatin1String("silent"))
            printer.setSilent(true);
        else if (fault == QLatin1String("slow"))
            printer.setPrintMs(1500);
        else if (fault == QLatin1String("gone"))
            m_printer.reset();
    };
    // Entry 1 prints; the printer fails before entry 2.
    const PrintJobOutcome outcome =
        m_road->printRequest(QStringLiteral("T100C"), m_day, [&](int n) {
            if (n == 2)
                breakIt();
        });
    QCOMPARE(outcome.end, End::StationFault);
    const QString expected =
        QStringLiteral("The labels of B1002 could not be printed: The label printer at "
                       "127.0.0.1:%1 %2")
            .arg(port)
            .arg(message);
    QVERIFY2(outcome.reason.startsWith(expected), qPrintable(outcome.reason));
    QCOMPARE(outcome.done, QStringList{"B1001"});
    QCOMPARE(recorded(), QStringList{"B1001"});
    QVERIFY(logged().isEmpty());

    if (fault != QLatin1String("slow") && fault != QLatin1String("drop")) {
        // The printer's check fails while the fault lasts: nothing prints.
        QCOMPARE(m_road->printLoaded(m_day).end, End::StationFault);
        QCOMPARE(recorded(), QStringList{"B1001"});
    }

    // Mended, the request finishes: the missing labels print once, are recorded, logged.
    if (!m_printer)
        m_printer = std::make_unique<SimulatedLabelPrinter>(port);
    m_printer->setFaults(0);
    m_printer->setDropAfter(-1);
    m_printer->setSilent(false);
    m_printer->setPrintMs(0);
    QTRY_COMPARE_WITH_TIMEOUT(m_printer->labels().size(),
                              fault == QLatin1String("gone") ? 0 : 1 + duplicates, 3000);
    QCOMPARE(m_road->printRequest(QStringLiteral("T100C"), m_day).end, End::Complete);
    QStringList all = recorded();
    all.sort();
    QCOMPARE(all, (QStringList{"B1001", "B1002", "B1003"}));
    QCOMPARE(logged(), QStringList(4, QStringLiteral("T100C")));
    QStringList expectedLabels{"B1001", "B1002", "B1003"};
    if (fault == QLatin1String("gone"))
        expectedLabels.removeFirst(); // B1001 went to the printer that is gone
    for (int i = 0; i < duplicates; ++i)
        expectedLabels.insert(1, QStringLiteral("B1002"));
    // The labels' barcode data as sent (the labels themselves are read back below).
    QStringList sent;
    static const QRegularExpression code128(QStringLiteral("\\^BC[^\\^]*\\^FH\\^FD([^\\^]*)"));
    for (const QByteArray& label : m_printer->labels())
        sent.append(code128.match(QString::fromLatin1(label)).captured(1));
    QCOMPARE(sent, expectedLabels);
}

// The road goes on to the next label only once the printer reports the last one out: a slow
// printer that reads each label late (answering status as if none had come), and one printed blind.
void ZplPrinterTest::aLabelCountsOnceItIsOut_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("printMs");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("slow, reads late") << "\"timeout\": 5," << 300 << false << true;
    QTest::newRow("status off, printed blind") << "\"status\": \"off\"," << 0 << true << false;
}

void ZplPrinterTest::aLabelCountsOnceItIsOut() {
    QFETCH(QString, settings);
    QFETCH(int, printMs);
    QFETCH(bool, silent);
    QFETCH(bool, confirmed);
    writeTemplate(settings);
    m_printer->setPrintMs(printMs, printMs);
    m_printer->setSilent(silent);
    QList<int> outBefore;
    const PrintJobOutcome outcome = m_road->printRequest(QStringLiteral("T100C"), m_day, [&](int) {
        outBefore.append(int(m_printer->labels().size()));
    });
    QCOMPARE(outcome.end, End::Complete);
    if (confirmed)
        QCOMPARE(outBefore, (QList<int>{0, 1, 2}));
    QCOMPARE(logged(), QStringList(4, QStringLiteral("T100C")));
    QTRY_COMPARE(m_printer->labels().size(), 3);
    QCOMPARE(m_printer->jobs().size(), 3); // one connection per label
    if (const QString missing = ZplCheck::missing(); !missing.isEmpty())
        QSKIP(qPrintable(missing));
    QCOMPARE(printedBarcodes(), (QStringList{"B1001", "B1002", "B1003"}));
}

QTEST_MAIN(ZplPrinterTest)
#include "tst_zplprinter.moc"
