#include "StationTestSupport.h"
#include "main/Startup.h"
#include "queue/RequestListModel.h"
#include "station/CheckList.h"
#include "station/KeyboardPanel.h"
#include "station/RequestGrid.h"
#include "station/ResizeRule.h"
#include "station/StationFrame.h"
#include "station/StationWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>

class StationWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void resizeRuleCentresTheWorkingArea();
    void resizeRuleMovesTheControlsOnResize();
    void controlsStandAtTheirDesignedPlaces_data();
    void controlsStandAtTheirDesignedPlaces();
    void captionsFontsAndColours();
    void timersRunAtTheDesignedInterval();
    void gridRowsAreAddressedFromTheHeaderRow();
    void keyboardPanelKeysStandInTheirBlocks();
    void failedOpenWarnsAndOpensNoWindow();
    void printLogFolderFailureEndsWithStatus3();
};

void StationWindowTest::resizeRuleCentresTheWorkingArea() {
    const CentredPlaces p = centredPlaces(13845.0F, 11535.0F);
    QCOMPARE(p.mainLeft, 690.0F);
    QCOMPARE(p.mainTop, 690.0F);
    QCOMPARE(p.bannerLeft, 1080.0F);
    QCOMPARE(p.bannerTop, 11045.0F);
    // No guard: a window smaller than the working area gives negative places.
    QVERIFY(centredPlaces(6000.0F, 4000.0F).mainLeft < 0.0F);
    // Single precision: an odd outer size keeps its half twip.
    QCOMPARE(centredPlaces(13846.0F, 11535.0F).mainLeft, 690.5F);
}

void StationWindowTest::resizeRuleMovesTheControlsOnResize() {
    StationWindow window;
    const Twips& t = window.twips();
    window.applyResizeRule(13845.0F, 11535.0F);
    const StationControls& c = window.controls();
    QCOMPARE(c.fraMain->pos(), QPoint(t.toPixels(690), t.toPixels(690)));
    QCOMPARE(c.lblORVANT->pos(), QPoint(t.toPixels(1080), t.toPixels(11045)));

    window.resize(t.toPixels(20000), t.toPixels(15000));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const int outerWidth = window.frameGeometry().width();
    const int centre = c.fraMain->x() + c.fraMain->width() / 2;
    QVERIFY(qAbs(centre - outerWidth / 2) <= 1);
    // The banner's right edge stays on the working area's right edge.
    QVERIFY(qAbs(c.lblORVANT->geometry().right() - c.fraMain->geometry().right()) <= 1);
}

void StationWindowTest::controlsStandAtTheirDesignedPlaces_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("cmdRefresh") << "cmdRefresh" << QRect(7560, 360, 1845, 465);
    QTest::newRow("Grid1") << "Grid1" << QRect(120, 840, 12135, 3375);
    QTest::newRow("Label3") << "Label3" << QRect(9840, 4200, 2415, 255);
    QTest::newRow("fraSearch") << "fraSearch" << QRect(120, 5040, 5955, 1785);
    QTest::newRow("txtNumber") << "txtNumber" << QRect(1020, 960, 3855, 585);
    QTest::newRow("cmdKeyboard") << "cmdKeyboard" << QRect(4920, 960, 735, 615);
    QTest::newRow("fraExams") << "fraExams" << QRect(6120, 4560, 6075, 5415);
    QTest::newRow("lstExams") << "lstExams" << QRect(480, 840, 5415, 2850);
    QTest::newRow("txtCopies") << "txtCopies" << QRect(5280, 3720, 600, 465);
    QTest::newRow("cmdGenerate") << "cmdGenerate" << QRect(720, 4320, 2445, 960);
    QTest::newRow("cmdExit") << "cmdExit" << QRect(120, 9360, 1845, 600);
}

void StationWindowTest::controlsStandAtTheirDesignedPlaces() {
    QFETCH(QString, control);
    QFETCH(QRect, twips);
    StationWindow window;
    const StationControls& c = window.controls();
    const QHash<QString, QWidget*> byName{{QStringLiteral("cmdRefresh"), c.cmdRefresh},
                                          {QStringLiteral("Grid1"), c.Grid1},
                                          {QStringLiteral("Label3"), c.Label3},
                                          {QStringLiteral("fraSearch"), c.fraSearch},
                                          {QStringLiteral("txtNumber"), c.txtNumber},
                                          {QStringLiteral("cmdKeyboard"), c.cmdKeyboard},
                                          {QStringLiteral("fraExams"), c.fraExams},
                                          {QStringLiteral("lstExams"), c.lstExams},
                                          {QStringLiteral("txtCopies"), c.txtCopies},
                                          {QStringLiteral("cmdGenerate"), c.cmdGenerate},
                                          {QStringLiteral("cmdExit"), c.cmdExit}};
    QWidget* widget = byName.value(control);
    QVERIFY(widget);
    const Twips& t = window.twips();
    QCOMPARE(widget->geometry(), t.rect(twips.x(), twips.y(), twips.width(), twips.height()));
}

void StationWindowTest::captionsFontsAndColours() {
    StationWindow window;
    const StationControls& c = window.controls();
    QCOMPARE(window.windowTitle(), QStringLiteral(" Quillon"));
    QCOMPARE(window.palette().color(QPalette::Window), QColor(64, 64, 64));
    QCOMPARE(c.cmdRefresh->text(), QStringLiteral("&Refresh"));
    QCOMPARE(c.Label2->text(), QStringLiteral(" or type in the chargeslip no. of the patient."));
    QCOMPARE(c.fraSearch->caption(), QStringLiteral("Manual Printing"));
    QCOMPARE(c.fraExams->caption(), QStringLiteral("Barcode"));
    QCOMPARE(c.lblPatientName->text(), QStringLiteral("[Patient Name]"));
    QCOMPARE(c.txtCopies->text(), QStringLiteral("1"));
    QCOMPARE(c.lblORVANT->text(), QStringLiteral("Wrenfold by ORVANT"));
    QCOMPARE(c.txtNumber->font().pointSizeF(), 18.0);
    QCOMPARE(c.lblPatientName->font().pointSizeF(), 14.25);
    QVERIFY(c.lblORVANT->font().bold() && c.lblORVANT->font().italic());
    QVERIFY(c.vkchkAutoPrintRequests->isChecked());
    QVERIFY(!c.cmdKeyboard->isEnabled());
    QVERIFY(c.txtExams->isEnabled());
    // The legend wears the colour of printed rows.
    QVERIFY(c.Label3->styleSheet().contains(QStringLiteral("rgb(163,194,241)")));
    // Buttons are coloured through their palette: a style sheet would make a new palette at each
    // paint, and the style would cache another picture of the button under every one.
    QCOMPARE(c.cmdKeyboard->palette().color(QPalette::Button), QColor(Qt::white));
    for (const QPushButton* button : window.findChildren<QPushButton*>())
        QVERIFY2(!button->style()->inherits("QStyleSheetStyle"), qPrintable(button->text()));
}

void StationWindowTest::timersRunAtTheDesignedInterval() {
    StationWindow window;
    const StationControls& c = window.controls();
    QCOMPARE(c.tmrCheckRequests->interval(), 60000);
    QCOMPARE(c.tmrAutoPrint->interval(), 60000);
    QVERIFY(c.tmrCheckRequests->isActive());
    QVERIFY(c.tmrAutoPrint->isActive());
}

void StationWindowTest::gridRowsAreAddressedFromTheHeaderRow() {
    RequestListModel list;
    RequestGrid grid;
    grid.setListModel(&list);
    QCOMPARE(grid.rows(), 1);
    QVERIFY(grid.appendTabRow(QStringLiteral("2026-12-08 10:00:00\tA1\tDOE, JOHN ")));
    QVERIFY(grid.appendTabRow(QStringLiteral("t\tA2")));
    QCOMPARE(grid.rows(), 3);
    QCOMPARE(grid.cellText(0, 1), QStringLiteral("RefNum"));
    QCOMPARE(grid.cellText(1, 1), QStringLiteral("A1"));
    QCOMPARE(grid.cellText(1, 2), QStringLiteral("DOE, JOHN "));
    QCOMPARE(grid.cellText(2, 1), QStringLiteral("A2"));
    QCOMPARE(grid.cellText(2, 7), QString());
    grid.setRows(1);
    QCOMPARE(grid.rows(), 1);
    QCOMPARE(grid.cellText(0, 7), QStringLiteral("Printed"));
}

void StationWindowTest::keyboardPanelKeysStandInTheirBlocks() {
    KeyboardPanel panel;
    QCOMPARE(panel.windowTitle(), QStringLiteral(" Keyboard"));
    QCOMPARE(panel.cmdKeys.size(), 28);
    QCOMPARE(panel.cmdNum.size(), 10);
    const Twips t;
    QCOMPARE(panel.cmdKeys.at(0)->text(), QStringLiteral("Q"));
    QCOMPARE(panel.cmdKeys.at(26)->text(), QStringLiteral("Backspace"));
    QCOMPARE(panel.cmdKeys.at(26)->geometry(), t.rect(10650, 2880, 1965, 1215));
    QCOMPARE(panel.cmdKeys.at(27)->geometry(), t.rect(1200, 4110, 11415, 1215));
    QCOMPARE(panel.cmdNum.at(9)->text(), QStringLiteral("0"));
    QCOMPARE(panel.cmdNum.at(9)->geometry(), t.rect(1500, 4110, 1335, 1215));
    QCOMPARE(panel.cmdNum.at(0)->parentWidget(), panel.vkFrame2);
}

void StationWindowTest::failedOpenWarnsAndOpensNoWindow() {
    TestWorld world; // no connection settings stored
    DbConnection connection;
    RecordingMessages messages;
    QCOMPARE(Main(connection, messages), exitNoDatabase);
    QCOMPARE(messages.texts(),
             QStringList{QStringLiteral("Unable to contact the database server.")});
    QCOMPARE(messages.shown.first().icon, Messages::Icon::Warning);
    QVERIFY(QApplication::topLevelWidgets().isEmpty() ||
            std::none_of(QApplication::topLevelWidgets().cbegin(),
                         QApplication::topLevelWidgets().cend(),
                         [](const QWidget* w) { return w->isVisible(); }));
}

QTEST_MAIN(StationWindowTest)
#include "tst_stationwindow.moc"

void StationWindowTest::printLogFolderFailureEndsWithStatus3() {
    TestWorld world;
    world.createLab();
    world.storeEmbeddedSettings();
    qputenv("windir", (world.path() + QStringLiteral("/no/such\\Windows")).toLocal8Bit());
    DbConnection connection;
    RecordingMessages messages;
    // While the message is up, three (sped-up) timer intervals pass: nothing of the window runs.
    bool timersRan = false;
    messages.onShow = [&](const QString&) {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            for (QTimer* timer : window->findChildren<QTimer*>()) {
                timersRan = timersRan || timer->isActive();
                timer->setInterval(10);
            }
        }
        QTest::qWait(60);
    };
    QCOMPARE(Main(connection, messages), exitNoPrintLog);
    QVERIFY(!timersRan);
    QCOMPARE(messages.shown.size(), 1);
    QVERIFY(messages.texts().first().contains(QStringLiteral("PrintLog")));
}
