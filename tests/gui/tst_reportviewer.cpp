#include "../unit/tst_labeltools.h"
#include "app/Failure.h"
#include "labels/LabelPrinting.h"
#include "station/ReportViewer.h"
#include "station/ReportViewerControl.h"

#include <QApplication>
#include <QPrintPreviewWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace {

const QStringList seven{
    "2401150001", "DELA CRUZ, JUANA", "123456", "CHEM", "2024-01-15 10:30:45", "W3", "42/F"};

// A template printing into <dir>/labels.
QString writeTemplate(const QTemporaryDir& dir,
                      const QString& printer = QStringLiteral("pdf:labels")) {
    const QString path = dir.filePath(QStringLiteral("viewer.rpt"));
    labeltest::writeFile(path, QStringLiteral(R"({ "width": 50, "height": 25, "printer": "%1",
        "fields": ["Barcode", "Name"], "items": [
          { "type": "text", "field": "Name", "x": 1, "y": 1, "width": 48, "height": 4 },
          { "type": "barcode", "field": "Barcode", "x": 1, "y": 6, "width": 48, "height": 15 } ] })")
                                   .arg(printer)
                                   .toUtf8());
    return path;
}

// Runs check on the modal window once it is up.
void whenModal(std::function<void(ReportViewer&)> check) {
    QTimer::singleShot(0, [check] {
        auto* viewer = qobject_cast<ReportViewer*>(QApplication::activeModalWidget());
        QVERIFY(viewer);
        check(*viewer);
        if (viewer->isVisible()) // a failed check must not leave the test waiting
            viewer->reject();
    });
}

} // namespace

class TestReportViewer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void escapeReleasesTheReport() {
        QTemporaryDir dir;
        LabelPrinting printing;
        printing.prepareReport(writeTemplate(dir), seven);
        ReportViewer viewer(printing);
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        QCOMPARE(viewer.crViewer1->reportSource(), printing.activeReport());
        QCOMPARE(viewer.crViewer1->preview()->pageCount(), 1);
        // Escape reaches the window while the viewer's pages have the focus.
        QWidget* pages =
            viewer.crViewer1->preview()->findChild<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(pages);
        pages->setFocus();
        QTest::keyClick(pages, Qt::Key_A);
        QVERIFY(viewer.isVisible());
        QTest::keyClick(pages, Qt::Key_Escape);
        QVERIFY(!viewer.isVisible());
        QVERIFY(!printing.activeReport());
        QVERIFY(!viewer.crViewer1->reportSource());
    }

    void closeBoxReleasesTheReport() {
        QTemporaryDir dir;
        LabelPrinting printing;
        printing.prepareReport(writeTemplate(dir), seven);
        ReportViewer viewer(printing);
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        QVERIFY(viewer.close());
        QVERIFY(!printing.activeReport());
    }

    void groupTreeOnlyWhenAsked_data() {
        QTest::addColumn<int>("showGroupTree"); // -1 never set
        QTest::newRow("never set") << -1;
        QTest::newRow("false") << 0;
        QTest::newRow("true") << 1;
    }
    void groupTreeOnlyWhenAsked() {
        QFETCH(int, showGroupTree);
        QTemporaryDir dir;
        LabelPrinting printing;
        printing.prepareReport(writeTemplate(dir), seven);
        ReportViewer viewer(printing);
        if (showGroupTree >= 0)
            viewer.setShowGroupTree(showGroupTree == 1);
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        QTreeWidget* tree = viewer.crViewer1->groupTree();
        QCOMPARE(tree->isVisibleTo(&viewer), showGroupTree == 1);
        QCOMPARE(tree->isEnabled(), showGroupTree == 1);
        if (showGroupTree == 1) {
            QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Quillon"));
            QCOMPARE(tree->topLevelItem(0)->childCount(), 1);
        }
    }

    void viewerFillsTheWindow_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("design") << QSize(310, 211);
        QTest::newRow("large") << QSize(1200, 900);
        QTest::newRow("wide and low") << QSize(900, 120);
        QTest::newRow("tiny") << QSize(40, 30);
    }
    void viewerFillsTheWindow() {
        QFETCH(QSize, size);
        QTemporaryDir dir;
        LabelPrinting printing;
        printing.prepareReport(writeTemplate(dir), seven);
        ReportViewer viewer(printing);
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        viewer.resize(size);
        QTRY_COMPARE(viewer.size(), size);
        QTRY_COMPARE(viewer.crViewer1->geometry(), QRect(QPoint(0, 0), size));
    }

    // presentReport's viewer path: caption and group tree from the caller, modal until closed.
    void presentShowsTheReportModally() {
        QTemporaryDir dir;
        LabelPrinting printing;
        ReportViewer::install(printing);
        printing.prepareReport(writeTemplate(dir), seven);
        bool checked = false;
        whenModal([&](ReportViewer& viewer) {
            QCOMPARE(viewer.windowTitle(), QStringLiteral("Print Barcode Sticker"));
            QVERIFY(viewer.crViewer1->groupTree()->isVisibleTo(&viewer));
            QCOMPARE(viewer.crViewer1->preview()->zoomMode(), QPrintPreviewWidget::FitToWidth);
            checked = true;
            QTest::keyClick(&viewer, Qt::Key_Escape);
        });
        printing.presentReport(true, LabelPrinting::printCaption(), false);
        QVERIFY(checked);
        QVERIFY(!printing.activeReport());
        QVERIFY(labeltest::pdfFiles(dir.filePath(QStringLiteral("labels"))).isEmpty());
    }

    // The Print button prints the report where its template says and closes the window.
    void printButtonPrintsAndCloses() {
        QTemporaryDir dir;
        LabelPrinting printing;
        ReportViewer::install(printing);
        printing.prepareReport(writeTemplate(dir), seven);
        whenModal([](ReportViewer& viewer) { viewer.crViewer1->printAction()->trigger(); });
        printing.presentReport(false, QStringLiteral("View"), false);
        QVERIFY(!printing.activeReport());
        const QStringList files = labeltest::pdfFiles(dir.filePath(QStringLiteral("labels")));
        QCOMPARE(files.size(), 1);
        if (labeltest::toolsInstalled())
            QCOMPARE(labeltest::scanPdf(files.first()), QStringList{seven[0]});
    }

    void printFailureReachesTheCaller() {
        QTemporaryDir dir;
        LabelPrinting printing;
        ReportViewer::install(printing);
        printing.prepareReport(writeTemplate(dir, QStringLiteral("No Such Printer")), seven);
        whenModal([](ReportViewer& viewer) { viewer.crViewer1->printAction()->trigger(); });
        try {
            printing.presentReport(false, QStringLiteral("View"), false);
            QFAIL("the failure was lost");
        } catch (const Failure& failure) {
            QCOMPARE(failure.description(),
                     QStringLiteral("The label printer \"No Such Printer\" is not installed."));
        }
        QVERIFY(!printing.activeReport());
        QVERIFY(!QApplication::activeModalWidget());
    }

    void directPrintPrintsAtLoad() {
        QTemporaryDir dir;
        LabelPrinting printing;
        printing.prepareReport(writeTemplate(dir), seven);
        ReportViewer::present(printing, false, QStringLiteral("View"), true);
        QVERIFY(!printing.activeReport());
        QCOMPARE(labeltest::pdfFiles(dir.filePath(QStringLiteral("labels"))).size(), 1);
    }
};

QTEST_MAIN(TestReportViewer)
#include "tst_reportviewer.moc"
