// Print on the real window, to the simulated network ZPL printer: a printer that runs out of
// paper part way stops the job with the Print command's usual box, naming the printer and the
// condition and what was done; the mended printer finishes the request without a label twice.
#include "SimulatedLabelPrinter.h"
#include "StationTestSupport.h"
#include "TestData.h"
#include "labdb/LabDbBuilder.h"
#include "station/LookupInput.h"
#include "station/Station.h"
#include "station/StationWindow.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using namespace TestData;

class ZplPrintCommandTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void paperOutStopsThePrintAndPrintFinishesIt();
};

void ZplPrintCommandTest::paperOutStopsThePrintAndPrintFinishesIt() {
    TestWorld world;
    world.createLab().addRequest(
        request(QStringLiteral("T100C"), 5,
                {item(QStringLiteral("CBC"), "B1001"),
                 item(QStringLiteral("FBS"), "B1002", QStringLiteral("CHEM")),
                 item(QStringLiteral("UA"), "B1003", QStringLiteral("URINE"))}));
    SimulatedLabelPrinter printer;
    QFile source(QStringLiteral(QUILLON_SOURCE_DIR "/src/labels/LabBarcodeLabel.rpt"));
    QVERIFY(source.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(source.readAll());
    text.replace(QRegularExpression(QStringLiteral("\"printer\"\\s*:\\s*\"[^\"]*\"")),
                 QStringLiteral("\"printer\": \"%1\"").arg(printer.address()));
    QFile zplTemplate(world.path() + QStringLiteral("/LabBarcodeLabel.rpt"));
    QVERIFY(zplTemplate.open(QIODevice::WriteOnly));
    zplTemplate.write(text.toUtf8());
    zplTemplate.close();

    StationFixture fixture(world);
    Station& station = fixture.station();
    QVERIFY(station.show());
    station.labelPrinting().setTemplatePath(zplTemplate.fileName());
    const StationControls& c = station.window().controls();
    c.txtNumber->setText(QStringLiteral("T100C"));
    station.lookupInput().onNumberEnter();

    // The job yields before each entry: the paper runs out after entry 1 is printed.
    QTimer::singleShot(0, this, [this, &printer] {
        QTimer::singleShot(0, this,
                           [&printer] { printer.setFaults(SimulatedLabelPrinter::PaperOut); });
    });
    c.cmdGenerate->click();
    QCOMPARE(fixture.messages.texts(),
             QStringList{
                 QStringLiteral("Printing stopped: The labels of B1002 could not be printed: The "
                                "label printer at 127.0.0.1:%1 is out of paper.\nPrinted and "
                                "recorded: B1001.\nMend the fault and press Print again: labels "
                                "already printed are not printed again.")
                     .arg(printer.port())});
    QVERIFY(loggedNumbers(world.printLogFolder()).isEmpty());
    QCOMPARE(world.lab().masterRecords().size(), 1);
    QVERIFY(c.cmdGenerate->isEnabled());

    printer.setFaults(0);
    c.cmdGenerate->click();
    QCOMPARE(fixture.messages.shown.size(), 1);
    QCOMPARE(loggedNumbers(world.printLogFolder()), QStringList(3, QStringLiteral("T100C")));
    QStringList sent;
    for (const QByteArray& label : printer.labels())
        sent.append(QString::fromLatin1(label.mid(label.indexOf("^BC")))
                        .section(QStringLiteral("^FD"), 1, 1)
                        .section(QStringLiteral("^FS"), 0, 0));
    QCOMPARE(sent, (QStringList{"B1001", "B1002", "B1003"}));
}

QTEST_MAIN(ZplPrintCommandTest)
#include "tst_zplprintcommand.moc"
