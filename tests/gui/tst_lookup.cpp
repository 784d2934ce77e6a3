#include "StationTestSupport.h"
#include "TestData.h"
#include "app/SettingsStore.h"
#include "labdb/LabDbBuilder.h"
#include "station/CheckList.h"
#include "station/KeyboardPanel.h"
#include "station/LookupInput.h"
#include "station/LookupPanel.h"
#include "station/RequestGrid.h"
#include "station/Station.h"
#include "station/StationFrame.h"
#include "station/StationSettings.h"
#include "station/StationWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QTest>
#include <QTimer>

namespace {

LabItem label(const QString& exam, const QString& instrument, const QString& barcode) {
    return TestData::item(exam, barcode, instrument);
}

LabRequest request(const QString& refNum, const QList<LabItem>& items) {
    return TestData::request(refNum, 10, items);
}

} // namespace

class LookupTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void blankNumberSendsNothing();
    void notFoundFromBothStates();
    void oneRowLoadsTheRequest();
    void manyRowsKeepOrderAndCorrespondence();
    void nullInstrumentGivesEmptyBrackets();
    void quoteInANumberFromTheGridIsLookedUpSafely();
    void databaseFailureIsShownAndReturns();
    void typingIsUpperCaseWithoutApostrophe();
    void enterStartsTheLookupWithAnyModifier();
    void otherKeysNeverStartALookup();
    void gridClickLooksTheRowUp();
    void checkAllAndReset();
    void secondLookupInsideTheYieldIsDropped();
    void loadRestoresTheAutoPrintSetting_data();
    void loadRestoresTheAutoPrintSetting();
    void autoPrintBoxStoresAndSwitches();
    void enableTimersNeverStartsAutoPrintWhileUnticked();
    void exitAndCloseBoxEndTheProgram();
    void keyboardPanelChangesNothingAndResetsOnClose();

private:
    const StationControls& c() { return m_fixture->station().window().controls(); }
    void lookUp(const QString& number) {
        c().txtNumber->setText(number);
        m_fixture->station().lookupInput().onNumberEnter();
    }

    std::unique_ptr<TestWorld> m_world;
    std::unique_ptr<StationFixture> m_fixture;
};

void LookupTest::init() {
    m_world = std::make_unique<TestWorld>();
    LabDbBuilder& lab = m_world->createLab();
    lab.addRequest(
        request(QStringLiteral("T1001C"),
                {label(QStringLiteral("CBC"), QStringLiteral("HEMA"), QStringLiteral("B1001"))}));
    lab.addRequest(
        request(QStringLiteral("20002"),
                {label(QStringLiteral("FBS"), QStringLiteral("CHEM"), QStringLiteral("B2003")),
                 label(QStringLiteral("CBC"), QStringLiteral("HEMA"), QStringLiteral("B2001")),
                 label(QStringLiteral("UA"), QStringLiteral("URINE"), QStringLiteral("B2002"))}));
    m_fixture = std::make_unique<StationFixture>(*m_world);
    QVERIFY2(m_fixture->station().show(),
             qPrintable(m_fixture->messages.texts().join(QLatin1Char('|'))));
    QVERIFY(QTest::qWaitForWindowExposed(&m_fixture->station().window()));
    m_fixture->station().window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&m_fixture->station().window()));
}

void LookupTest::cleanup() {
    m_fixture.reset();
    m_world.reset();
}

void LookupTest::blankNumberSendsNothing() {
    c().lblPatientName->setText(QStringLiteral("kept"));
    // With the connection closed, any statement would fail and show a message.
    QSqlDatabase::database(QString(DbConnection::connectionName), false).close();
    lookUp(QStringLiteral("   "));
    QVERIFY(m_fixture->messages.shown.isEmpty());
    QCOMPARE(c().lblPatientName->text(), QStringLiteral("kept"));
    QCOMPARE(c().lstExams->entryCount(), 0);
    QVERIFY(c().txtNumber->hasFocus());
    QVERIFY(m_fixture->station().currentRequest().PatientName.isEmpty());
    // Only spaces are blank: with a tab the (closed) database is asked, and its failure told.
    lookUp(QStringLiteral(" \t "));
    QCOMPARE(m_fixture->messages.shown.size(), 1);
}

void LookupTest::notFoundFromBothStates() {
    lookUp(QStringLiteral("NOSUCH"));
    QCOMPARE(m_fixture->messages.texts(), QStringList{QStringLiteral("Sample not found!")});
    QCOMPARE(m_fixture->messages.shown.first().icon, Messages::Icon::Warning);
    QVERIFY(c().txtNumber->text().isEmpty());
    QVERIFY(c().lblPatientName->text().isEmpty());
    QVERIFY(c().fraSearch->isEnabled());
    QVERIFY(!c().fraExams->isEnabled());

    // From the loaded state (as a grid click would do it): the groups keep their states.
    lookUp(QStringLiteral("T1001C"));
    QVERIFY(!c().fraSearch->isEnabled());
    lookUp(QStringLiteral("NOSUCH"));
    QCOMPARE(m_fixture->messages.shown.size(), 2);
    QVERIFY(!c().fraSearch->isEnabled());
    QVERIFY(c().fraExams->isEnabled());
    QVERIFY(c().chkAll->isChecked());
    QCOMPARE(c().lstExams->entryCount(), 0);
}

void LookupTest::oneRowLoadsTheRequest() {
    c().txtCopies->setText(QStringLiteral("5"));
    lookUp(QStringLiteral("T1001C"));
    QVERIFY(m_fixture->messages.shown.isEmpty());
    QCOMPARE(c().lstExams->entryCount(), 1);
    QCOMPARE(c().lstExams->entryText(1), QStringLiteral("B1001 [HEMA] "));
    QVERIFY(c().lstExams->isTicked(1));
    QVERIFY(c().chkAll->isChecked());
    QVERIFY(!c().fraSearch->isEnabled());
    QVERIFY(c().fraExams->isEnabled());
    QVERIFY(c().cmdGenerate->isEnabled());
    QVERIFY(c().cmdGenerate->hasFocus());
    QCOMPARE(c().txtCopies->text(), QStringLiteral("1"));
    QCOMPARE(c().txtNumber->text(), QStringLiteral("T1001C")); // the box keeps its number
    const CurrentRequest& r = m_fixture->station().currentRequest();
    QVERIFY(c().lblPatientName->text().contains(QStringLiteral("DELA CRUZ")));
    QCOMPARE(r.PatientName, c().lblPatientName->text());
    QCOMPARE(r.HospNum, QStringLiteral("HN-T1001C"));
    QCOMPARE(r.RoomID, QStringLiteral("R-201"));
    QCOMPARE(r.Age, QStringLiteral("45"));
    QCOMPARE(r.Sex, QStringLiteral("M"));
    QVERIFY(!r.TransDate.isEmpty());
}

void LookupTest::manyRowsKeepOrderAndCorrespondence() {
    lookUp(QStringLiteral("20002"));
    const CurrentRequest& r = m_fixture->station().currentRequest();
    QCOMPARE(c().lstExams->entryCount(), 3);
    QCOMPARE(r.Barcodes, (QStringList{QStringLiteral("B2003"), QStringLiteral("B2001"),
                                      QStringLiteral("B2002")}));
    QCOMPARE(r.Instruments, (QStringList{QStringLiteral("CHEM"), QStringLiteral("HEMA"),
                                         QStringLiteral("URINE")}));
    for (int n = 1; n <= 3; ++n) {
        QCOMPARE(c().lstExams->entryText(n), r.Barcodes.at(n - 1) + QStringLiteral(" [") +
                                                 r.Instruments.at(n - 1) + QStringLiteral("] "));
        QVERIFY(c().lstExams->isTicked(n));
    }
    // A later lookup replaces the lists; one that finds nothing leaves them.
    lookUp(QStringLiteral("T1001C"));
    QCOMPARE(r.Barcodes, QStringList{QStringLiteral("B1001")});
    lookUp(QStringLiteral("NOSUCH"));
    QCOMPARE(r.Barcodes, QStringList{QStringLiteral("B1001")});
    QVERIFY(r.PatientName.isEmpty());
}

void LookupTest::nullInstrumentGivesEmptyBrackets() {
    LabItem item = label(QStringLiteral("ESR"), QString(), QStringLiteral("B3001"));
    m_world->lab().addRequest(request(QStringLiteral("30003"), {item}));
    lookUp(QStringLiteral("30003"));
    QCOMPARE(c().lstExams->entryCount(), 1);
    QCOMPARE(c().lstExams->entryText(1), QStringLiteral("B3001 [] "));
    QCOMPARE(m_fixture->station().currentRequest().Instruments, QStringList{QString()});
}

void LookupTest::quoteInANumberFromTheGridIsLookedUpSafely() {
    m_world->lab().addRequest(
        request(QStringLiteral("O'NEIL-7"),
                {label(QStringLiteral("CBC"), QStringLiteral("HEMA"), QStringLiteral("B'7"))}));
    c().Grid1->appendTabRow(QStringLiteral("2026-12-08 10:00:00\tO'NEIL-7\tX\tCBC"));
    c().Grid1->setCurrentGridRow(1);
    m_fixture->station().lookupInput().onGridClick();
    QVERIFY2(m_fixture->messages.shown.isEmpty(),
             qPrintable(m_fixture->messages.texts().join(QLatin1Char('|'))));
    QCOMPARE(c().lstExams->entryText(1), QStringLiteral("B'7 [HEMA] "));
}

void LookupTest::databaseFailureIsShownAndReturns() {
    QSqlDatabase::database(QString(DbConnection::connectionName), false).close();
    lookUp(QStringLiteral("T1001C"));
    QCOMPARE(m_fixture->messages.shown.size(), 1);
    QCOMPARE(m_fixture->messages.shown.first().icon, Messages::Icon::Warning);
    QVERIFY(!m_fixture->messages.shown.first().text.isEmpty());
    QVERIFY(m_fixture->messages.shown.first().text != QStringLiteral("Sample not found!"));
}

void LookupTest::typingIsUpperCaseWithoutApostrophe() {
    c().txtNumber->setFocus();
    QTest::keyClicks(c().txtNumber, QStringLiteral("t1'0a"));
    QCOMPARE(c().txtNumber->text(), QStringLiteral("T10A"));
    // Text written by code is taken as it comes.
    c().txtNumber->setText(QStringLiteral("ab'c"));
    QCOMPARE(c().txtNumber->text(), QStringLiteral("ab'c"));
}

void LookupTest::enterStartsTheLookupWithAnyModifier() {
    const Qt::KeyboardModifiers modifiers[] = {Qt::NoModifier, Qt::ShiftModifier,
                                               Qt::ControlModifier, Qt::AltModifier};
    for (const Qt::KeyboardModifiers m : modifiers) {
        m_fixture->station().activate();
        c().txtNumber->setText(QStringLiteral("T1001C"));
        QTest::keyClick(c().txtNumber, Qt::Key_Return, m);
        QCOMPARE(c().lstExams->entryCount(), 1);
    }
    m_fixture->station().activate();
    c().txtNumber->setText(QStringLiteral("T1001C"));
    QTest::keyClick(c().txtNumber, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(c().lstExams->entryCount(), 1);
}

void LookupTest::otherKeysNeverStartALookup() {
    c().txtNumber->setText(QStringLiteral("T1001C"));
    QTest::keyClick(c().txtNumber, Qt::Key_Tab);
    QTest::keyClick(c().txtNumber, Qt::Key_F5);
    QTest::keyClick(c().txtNumber, Qt::Key_Escape);
    QCOMPARE(c().lstExams->entryCount(), 0);
}

void LookupTest::gridClickLooksTheRowUp() {
    RequestGrid* grid = c().Grid1;
    grid->appendTabRow(QStringLiteral("2026-12-08 10:00:00\tT1001C\tDELA CRUZ\tCBC"));
    grid->appendTabRow(QStringLiteral("2026-12-08 10:05:00\tGONE\tNOBODY\tFBS, UA"));
    c().txtNumber->setText(QStringLiteral("typed"));

    grid->setCurrentGridRow(0); // the header row
    m_fixture->station().lookupInput().onGridClick();
    QCOMPARE(c().txtNumber->text(), QStringLiteral("typed"));
    QVERIFY(c().txtExams->toPlainText().isEmpty());

    // A real click on the first data row.
    const QRect cell = grid->visualRect(grid->model()->index(0, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(c().lstExams->entryCount(), 1);
    QCOMPARE(c().txtExams->toPlainText(), QStringLiteral("CBC"));

    // Also in the loaded state, and also when the lookup finds nothing.
    grid->setCurrentGridRow(2);
    m_fixture->station().lookupInput().onGridClick();
    QCOMPARE(m_fixture->messages.texts(), QStringList{QStringLiteral("Sample not found!")});
    QCOMPARE(c().txtExams->toPlainText(), QStringLiteral("FBS, UA"));
}

void LookupTest::checkAllAndReset() {
    // On an empty checklist both ways do nothing.
    c().chkAll->click();
    c().chkAll->click();
    QCOMPARE(c().lstExams->entryCount(), 0);

    lookUp(QStringLiteral("20002"));
    c().lstExams->setTicked(2, false);
    QVERIFY(c().chkAll->isChecked()); // single entries never change Check All
    c().chkAll->click();
    QVERIFY(!c().chkAll->isChecked());
    for (int n = 1; n <= 3; ++n)
        QVERIFY(!c().lstExams->isTicked(n));
    c().chkAll->click();
    for (int n = 1; n <= 3; ++n)
        QVERIFY(c().lstExams->isTicked(n));

    c().txtCopies->setText(QStringLiteral("4"));
    c().cmdNew->click();
    QVERIFY(!c().cmdGenerate->isEnabled());
    QVERIFY(c().fraSearch->isEnabled());
    QVERIFY(!c().fraExams->isEnabled());
    QVERIFY(c().txtNumber->text().isEmpty());
    QVERIFY(c().txtNumber->hasFocus());
    QCOMPARE(c().lstExams->entryCount(), 0);
    QVERIFY(c().lblPatientName->text().isEmpty());
    QCOMPARE(c().txtCopies->text(), QStringLiteral("1"));
    // Reset leaves the looked-up request as it was; the next lookup makes Print usable again.
    QCOMPARE(m_fixture->station().currentRequest().Barcodes.size(), 3);
    lookUp(QStringLiteral("T1001C"));
    QVERIFY(c().cmdGenerate->isEnabled());
}

void LookupTest::secondLookupInsideTheYieldIsDropped() {
    // Events that arrive while the lookup lets the window run: Enter on another number, a grid
    // click, Reset and a timer tick. None may disturb the running lookup.
    c().Grid1->appendTabRow(QStringLiteral("2026-12-08 10:00:00\tT1001C\tX\tCBC"));
    int ran = 0;
    QTimer::singleShot(0, this, [&] {
        ++ran;
        c().txtNumber->setText(QStringLiteral("T1001C"));
        m_fixture->station().lookupInput().onNumberEnter();
        c().Grid1->setCurrentGridRow(1);
        m_fixture->station().lookupInput().onGridClick();
        m_fixture->station().lookupInput().onResetClick();
        m_fixture->station().onAutoPrintTick();
    });
    lookUp(QStringLiteral("20002"));
    QCOMPARE(ran, 1);
    const CurrentRequest& r = m_fixture->station().currentRequest();
    QCOMPARE(c().lstExams->entryCount(), 3);
    QCOMPARE(r.Barcodes.size(), 3);
    for (int n = 1; n <= 3; ++n)
        QVERIFY(c().lstExams->entryText(n).startsWith(r.Barcodes.at(n - 1) + QLatin1Char(' ')));
    QCOMPARE(r.Barcodes.first(), QStringLiteral("B2003"));
    QVERIFY(c().fraExams->isEnabled());
}

void LookupTest::loadRestoresTheAutoPrintSetting_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("ticked");
    QTest::newRow("absent") << QString() << true;
    QTest::newRow("1") << "1" << true;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("abc") << "abc" << false;
}

void LookupTest::loadRestoresTheAutoPrintSetting() {
    QFETCH(QString, stored);
    QFETCH(bool, ticked);
    m_fixture.reset();
    if (!stored.isNull())
        m_world->storeSetting(QStringLiteral("Wrenfold"), QStringLiteral("LabBarcodes"),
                              QStringLiteral("vkchkAutoPrintRequests"), stored);
    m_fixture = std::make_unique<StationFixture>(*m_world);
    QVERIFY(m_fixture->station().show());
    QCOMPARE(c().vkchkAutoPrintRequests->isChecked(), ticked);
    QCOMPARE(c().tmrAutoPrint->isActive(), ticked);
    QVERIFY(c().tmrCheckRequests->isActive());
    // Load stores nothing.
    QCOMPARE(SettingsStore::read(QStringLiteral("Wrenfold"), QStringLiteral("LabBarcodes"),
                                 QStringLiteral("vkchkAutoPrintRequests"),
                                 QStringLiteral("<none>")),
             stored.isNull() ? QStringLiteral("<none>") : stored);
    // The grid has its headers; the print-log folder exists.
    QCOMPARE(c().Grid1->cellText(0, 0), QStringLiteral("TransDate"));
    QCOMPARE(c().Grid1->cellText(0, 6), QStringLiteral("Req.Num"));
    QCOMPARE(c().Grid1->cellText(0, 8), QString());
    QCOMPARE(c().Grid1->rows(), 1);
    QVERIFY(QFileInfo(m_world->printLogFolder()).isDir());
    QCOMPARE(QDir(m_fixture->station().printLogFolder()).canonicalPath(),
             QDir(m_world->printLogFolder()).canonicalPath());
}

void LookupTest::autoPrintBoxStoresAndSwitches() {
    c().vkchkAutoPrintRequests->click();
    QVERIFY(!c().tmrAutoPrint->isActive());
    QVERIFY(c().tmrCheckRequests->isActive());
    QCOMPARE(AutoPrintSetting::read(), 0);
    c().vkchkAutoPrintRequests->click();
    QVERIFY(c().tmrAutoPrint->isActive());
    QCOMPARE(AutoPrintSetting::read(), 1);
}

void LookupTest::enableTimersNeverStartsAutoPrintWhileUnticked() {
    Station& station = m_fixture->station();
    station.EnableTimers(false);
    QVERIFY(!c().tmrCheckRequests->isActive());
    QVERIFY(!c().tmrAutoPrint->isActive());
    c().vkchkAutoPrintRequests->setChecked(false);
    station.EnableTimers(true);
    QVERIFY(c().tmrCheckRequests->isActive());
    QVERIFY(!c().tmrAutoPrint->isActive());
    c().vkchkAutoPrintRequests->setChecked(true);
    station.EnableTimers(true);
    QVERIFY(c().tmrAutoPrint->isActive());
}

void LookupTest::exitAndCloseBoxEndTheProgram() {
    QTimer::singleShot(0, c().cmdExit, &QPushButton::click);
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(99); }); // safety net
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!m_fixture->station().window().isVisible());
    QVERIFY(!c().tmrCheckRequests->isActive());
    QVERIFY(!c().tmrAutoPrint->isActive());

    // The close box, on a fresh station.
    m_fixture = std::make_unique<StationFixture>(*m_world);
    QVERIFY(m_fixture->station().show());
    QTimer::singleShot(0, &m_fixture->station().window(), &QWidget::close);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!c().tmrAutoPrint->isActive());
    QVERIFY(!m_fixture->station().window().isVisible());
}

void LookupTest::keyboardPanelChangesNothingAndResetsOnClose() {
    c().cmdKeyboard->setEnabled(true); // switched off in the design; made usable for the test
    c().txtNumber->setText(QStringLiteral("T1001C"));
    QString seenWhileOpen;
    QTimer::singleShot(0, this, [&] {
        auto* panel = qobject_cast<KeyboardPanel*>(QApplication::activeModalWidget());
        QVERIFY(panel);
        panel->cmdKeys.at(0)->click();
        panel->cmdNum.at(0)->click();
        QTest::keyClick(panel, Qt::Key_Escape); // only the close box closes it
        QVERIFY(panel->isVisible());
        seenWhileOpen = c().txtNumber->text();
        panel->close();
    });
    c().cmdKeyboard->click();
    QCOMPARE(seenWhileOpen, QStringLiteral("T1001C"));
    QVERIFY(c().txtNumber->text().isEmpty()); // input reset on return
    QVERIFY(c().fraSearch->isEnabled());
}

QTEST_MAIN(LookupTest)
#include "tst_lookup.moc"
