#include "StationTestSupport.h"
#include "TestData.h"
#include "labdb/LabDbBuilder.h"
#include "queue/LabelHistory.h"
#include "station/CheckList.h"
#include "station/LookupInput.h"
#include "station/RequestGrid.h"
#include "station/Station.h"
#include "station/StationFrame.h"
#include "station/StationNotices.h"
#include "station/StationWindow.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using namespace TestData;

// The Print button over the real station window: what the window does around the print road.
class PrintCommandTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void printReturnsToSearching_data();
    void printReturnsToSearching();
    void blankBarcodeIsReportedOnce();
    void copiesChangedDuringAYieldApplyFromTheNextEntry();
    void ticksChangedDuringAYieldDoNotChangeTheJob();
    void exitStopsAJobBetweenCopies();
    void badCopiesStopBeforePrinting_data();
    void badCopiesStopBeforePrinting();
    void aStopKeepsTheRequestAndPrintFinishesIt();
    void secondPrintLookupOrResetInsideTheJobIsDropped();
    void aReprintAsksWhyAndTheLookupShowsIt();

private:
    Station& station() { return m_fixture->station(); }
    const StationControls& c() { return station().window().controls(); }
    void lookUp(const QString& number) {
        c().txtNumber->setText(number);
        station().lookupInput().onNumberEnter();
        QCOMPARE(m_fixture->messages.shown.size(), 0);
    }
    int pdfs() const { return pdfCount(m_world->labelFolder()); }
    QStringList logged() const { return loggedNumbers(m_world->printLogFolder()); }

    std::unique_ptr<TestWorld> m_world;
    std::unique_ptr<StationFixture> m_fixture;
};

void PrintCommandTest::init() {
    m_world = std::make_unique<TestWorld>();
    LabDbBuilder& lab = m_world->createLab();
    lab.addRequest(request(QStringLiteral("T100C"), 5,
                           {item(QStringLiteral("CBC"), "B1001"),
                            item(QStringLiteral("FBS"), "B1002", QStringLiteral("CHEM")),
                            item(QStringLiteral("UA"), "B1003", QStringLiteral("URINE"))}));
    lab.addRequest(
        request(QStringLiteral("200"), 5,
                {item(QStringLiteral("ESR"), ""), item(QStringLiteral("CBC"), "B2001")}));
    m_fixture = std::make_unique<StationFixture>(*m_world);
    QVERIFY(station().show());
    station().labelPrinting().setTemplatePath(m_world->writePdfTemplate());
    c().vkchkAutoPrintRequests->setChecked(true);
}

void PrintCommandTest::cleanup() {
    m_fixture.reset();
    m_world.reset();
}

void PrintCommandTest::printReturnsToSearching_data() {
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QString>("typed");
    QTest::newRow("every entry, two copies") << true << "T100C";
    QTest::newRow("nothing ticked") << false << "T100C";
    // SQL Server finds T100C for it: logged and marked under the database's spelling.
    QTest::newRow("another letter case, over SQL Server") << true << "t100c";
}

void PrintCommandTest::printReturnsToSearching() {
    QFETCH(bool, ticked);
    QFETCH(QString, typed);
    if (typed != QLatin1String("T100C")) {
        m_fixture.reset(); // one connection at a time
        m_fixture = std::make_unique<StationFixture>(*m_world, true);
        QVERIFY(station().show());
        station().labelPrinting().setTemplatePath(m_world->writePdfTemplate());
    }
    c().Grid1->appendTabRow(QStringLiteral("2026-12-07 23:50:00\tT100C"));
    lookUp(typed);
    c().txtCopies->setText(QStringLiteral("2"));
    if (!ticked)
        c().lstExams->untickAll();
    c().cmdGenerate->click();

    QCOMPARE(pdfs(), ticked ? 6 : 0);
    QCOMPARE(logged(), QStringList(ticked ? 3 : 0, QStringLiteral("T100C")));
    QCOMPARE(rowIsMarked(*c().Grid1, 1), ticked);
    // Back to searching, Print off, timers on as the box says.
    QVERIFY(!c().cmdGenerate->isEnabled());
    QVERIFY(c().fraSearch->isEnabled());
    QVERIFY(!c().fraExams->isEnabled());
    QCOMPARE(c().lstExams->entryCount(), 0);
    QCOMPARE(c().txtCopies->text(), QStringLiteral("1"));
    QVERIFY(c().tmrCheckRequests->isActive());
    QVERIFY(c().tmrAutoPrint->isActive());
    QVERIFY(m_fixture->messages.shown.isEmpty());
}

void PrintCommandTest::blankBarcodeIsReportedOnce() {
    lookUp(QStringLiteral("200"));
    c().cmdGenerate->click();
    QCOMPARE(m_fixture->messages.texts(), QStringList{QStringLiteral("Refnum is blank.")});
    QCOMPARE(m_fixture->messages.shown.first().icon, Messages::Icon::None);
    QCOMPARE(scannedBarcodes(m_world->labelFolder()), QStringList{QStringLiteral("B2001")});
    QCOMPARE(logged(), QStringList{QStringLiteral("200")});
}

void PrintCommandTest::copiesChangedDuringAYieldApplyFromTheNextEntry() {
    lookUp(QStringLiteral("T100C"));
    // The first yield comes before entry 1 reads its copies; the next one after it has printed.
    QTimer::singleShot(0, this, [this] {
        QTimer::singleShot(0, this, [this] { c().txtCopies->setText(QStringLiteral("2")); });
    });
    c().cmdGenerate->click();
    QCOMPARE(scannedBarcodes(m_world->labelFolder()),
             (QStringList{"B1001", "B1002", "B1002", "B1003", "B1003"}));
}

void PrintCommandTest::ticksChangedDuringAYieldDoNotChangeTheJob() {
    lookUp(QStringLiteral("T100C"));
    c().lstExams->setTicked(2, false);
    QTimer::singleShot(0, this, [this] { c().chkAll->click(); });
    c().cmdGenerate->click();
    QCOMPARE(scannedBarcodes(m_world->labelFolder()), (QStringList{"B1001", "B1003"}));
    QCOMPARE(logged(), QStringList(2, QStringLiteral("T100C")));
}

// A mistyped number of copies can be stopped: Exit between two copies ends the job there.
void PrintCommandTest::exitStopsAJobBetweenCopies() {
    lookUp(QStringLiteral("T100C"));
    c().txtCopies->setText(QStringLiteral("500"));
    // The first yield comes before entry 1; the next one after its first copy.
    QTimer::singleShot(0, this,
                       [this] { QTimer::singleShot(0, c().cmdExit, &QPushButton::click); });
    c().cmdGenerate->click();
    QCOMPARE(pdfs(), 1);
    QVERIFY(m_world->lab().masterRecords().isEmpty());
    QVERIFY(logged().isEmpty());
}

void PrintCommandTest::badCopiesStopBeforePrinting_data() {
    QTest::addColumn<QString>("copies");
    QTest::newRow("empty") << "";
    QTest::newRow("not a number") << "two";
    QTest::newRow("too many") << "40000";
    // No copy would record and log labels that never came out.
    QTest::newRow("none") << "0";
    QTest::newRow("rounded to none") << "0.4";
    QTest::newRow("negative") << "-1";
}

void PrintCommandTest::badCopiesStopBeforePrinting() {
    QFETCH(QString, copies);
    lookUp(QStringLiteral("T100C"));
    c().txtCopies->setText(copies);
    c().cmdGenerate->click();
    QCOMPARE(m_fixture->messages.shown.size(), 1);
    QVERIFY(m_fixture->messages.shown.first().text.contains(QStringLiteral("number of copies")));
    QCOMPARE(m_fixture->messages.shown.first().icon, Messages::Icon::Warning);
    QCOMPARE(pdfs(), 0);
    // The request stays loaded; the timers run again; mending the copies prints it all.
    QVERIFY(c().tmrCheckRequests->isActive());
    QVERIFY(c().cmdGenerate->isEnabled());
    c().txtCopies->setText(QStringLiteral("1"));
    c().cmdGenerate->click();
    QCOMPARE(pdfs(), 3);
}

void PrintCommandTest::aStopKeepsTheRequestAndPrintFinishesIt() {
    lookUp(QStringLiteral("T100C"));
    const QString templatePath = station().labelPrinting().templatePath();
    // After entry 1 has printed (during its recording), the template breaks.
    QTimer::singleShot(0, this, [this, templatePath] {
        QTimer::singleShot(0, this, [templatePath] {
            QFile broken(templatePath);
            if (broken.open(QIODevice::WriteOnly | QIODevice::Truncate))
                broken.write("{ not a template");
        });
    });
    c().cmdGenerate->click();
    QCOMPARE(pdfs(), 1);
    QVERIFY(logged().isEmpty()); // not logged with labels missing
    QCOMPARE(m_fixture->messages.shown.size(), 1);
    const QString text = m_fixture->messages.shown.first().text;
    QVERIFY2(text.contains(QStringLiteral("B1002")) && text.contains(QStringLiteral("B1001")),
             qPrintable(text));
    QVERIFY(c().tmrCheckRequests->isActive());
    QVERIFY(c().cmdGenerate->isEnabled());
    QVERIFY(c().lstExams->isTicked(2));

    // Mended: Print finishes it without printing entry 1 again.
    m_world->writePdfTemplate();
    c().cmdGenerate->click();
    QCOMPARE(scannedBarcodes(m_world->labelFolder()), (QStringList{"B1001", "B1002", "B1003"}));
    QCOMPARE(logged(), QStringList(3, QStringLiteral("T100C")));
    QCOMPARE(m_fixture->messages.shown.size(), 1);
    QVERIFY(c().fraSearch->isEnabled());
}

void PrintCommandTest::secondPrintLookupOrResetInsideTheJobIsDropped() {
    lookUp(QStringLiteral("T100C"));
    QTimer::singleShot(0, this, [this] {
        c().cmdGenerate->click();
        c().txtNumber->setText(QStringLiteral("200"));
        station().lookupInput().onNumberEnter();
        station().lookupInput().onResetClick();
    });
    c().cmdGenerate->click();
    QCOMPARE(pdfs(), 3);
    QCOMPARE(m_world->lab().masterRecords().size(), 3);
    QVERIFY(m_fixture->messages.shown.isEmpty());
    QCOMPARE(station().notices().recent().filter(QStringLiteral(" was not ")).size(), 3);
}

// With the lab's setting, a label printed before prints again only with a reason, which the
// history keeps; every lookup shows what the history holds of each label.
void PrintCommandTest::aReprintAsksWhyAndTheLookupShowsIt() {
    const QString section = QStringLiteral("LabBarcodes");
    m_world->storeSetting("Wrenfold", section, "AskReprintReason", "1");
    m_world->storeSetting("Wrenfold", section, "ReprintReasons", "Smudged|Tube replaced");
    lookUp("T100C");
    c().cmdGenerate->click(); // a first print asks nothing
    lookUp("T100C");
    const QModelIndex first = station().checklist().index(0);
    QVERIFY(first.data().toString().contains(QRegularExpression(
        QStringLiteral("^B1001 \\[HEMA\\] +\\(printed 1x, last \\d\\d:\\d\\d at .+\\)$"))));
    c().lstExams->setTicked(2, false); // an unticked label is not printed again: not asked of
    c().cmdGenerate->click();          // no reason given: nothing printed
    QCOMPARE(pdfs(), 3);
    QCOMPARE(m_fixture->messages.shown.size(), 1);
    QVERIFY(
        m_fixture->messages.shown.first().text.endsWith("B1001, B1003.\nWhy print them "
                                                        "again? (Never patient data; at most "
                                                        "80 characters.)\nSmudged|Tube replaced"));
    m_fixture->messages.answer = [](const QStringList& choices) { return choices.last(); };
    c().cmdGenerate->click();
    QCOMPARE(pdfs(), 5);
    m_fixture->messages.shown.clear();
    lookUp("T100C");
    QVERIFY(first.data().toString().contains("(printed 2x"));
    QVERIFY(first.data(Qt::ToolTipRole).toString().endsWith(", reprint: Tube replaced"));
}

QTEST_MAIN(PrintCommandTest)
#include "tst_printcommand.moc"
