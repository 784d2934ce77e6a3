#include "station/ReportViewer.h"

#include "app/Failure.h"
#include "labels/LabelPrinting.h"
#include "station/ReportViewerControl.h"
#include "station/Twips.h"

#include <QKeyEvent>
#include <QPrintPreviewWidget>

ReportViewer::ReportViewer(LabelPrinting& printing, QWidget* parent)
    : QDialog(parent)
    , m_printing(printing) {
    setObjectName(QStringLiteral("frmReportViewer"));
    setWindowTitle(tr("View Report"));
    crViewer1 = new ReportViewerControl(this);
    const Twips twips(logicalDpiX());
    resize(twips.toPixels(designClientWidthTwips), twips.toPixels(designClientHeightTwips));
    crViewer1->setGeometry(rect());
    connect(crViewer1, &ReportViewerControl::printButtonClicked, this,
            &ReportViewer::onPrintButtonClicked);
}

ReportViewer::~ReportViewer() {
    unload();
}

void ReportViewer::load() {
    if (m_loaded)
        return;
    m_loaded = true;
    crViewer1->setReportSource(m_printing.activeReport());
    crViewer1->zoom(1);
    crViewer1->setDisplayGroupTree(m_showGroupTree);
    crViewer1->setEnableGroupTree(m_showGroupTree);
    if (m_directPrint)
        crViewer1->printReport();
    else
        crViewer1->viewReport();
}

void ReportViewer::present(LabelPrinting& printing, bool showGroupTree, const QString& caption,
                           bool directPrint) {
    ReportViewer viewer(printing);
    viewer.setShowGroupTree(showGroupTree);
    viewer.setWindowTitle(caption);
    viewer.setDirectPrint(directPrint);
    viewer.crViewer1->zoom(1);
    try {
        viewer.load();
    } catch (...) {
        viewer.unload();
        throw;
    }
    if (directPrint) {
        viewer.done(QDialog::Accepted); // printed at load: nothing to display
        return;
    }
    viewer.exec();
    if (viewer.m_failure)
        std::rethrow_exception(viewer.m_failure);
}

void ReportViewer::install(LabelPrinting& printing) {
    printing.setViewer(&ReportViewer::present);
}

void ReportViewer::done(int result) {
    unload();
    QDialog::done(result);
}

void ReportViewer::unload() {
    crViewer1->setReportSource(nullptr);
    m_printing.releaseActiveReport();
}

void ReportViewer::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        done(QDialog::Rejected);
    // every other key is ignored
}

void ReportViewer::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    crViewer1->setGeometry(0, 0, width(), height());
}

void ReportViewer::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    try {
        load();
    } catch (...) {
        m_failure = std::current_exception();
        done(QDialog::Rejected);
    }
}

void ReportViewer::onPrintButtonClicked(bool& /*useDefault: left as it is*/) {
    try {
        crViewer1->printReport();
    } catch (...) {
        m_failure = std::current_exception(); // passed to the caller once the window has closed
    }
    done(QDialog::Accepted);
}
