#include "station/ReportViewerControl.h"

#include "app/Failure.h"
#include "labels/LabelRenderer.h"
#include "labels/ReportEngine.h"

#include <QBoxLayout>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QToolBar>
#include <QTreeWidget>

ReportViewerControl::ReportViewerControl(QWidget* parent)
    : QWidget(parent)
    , m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    setObjectName(QStringLiteral("crViewer1"));
    // The preview draws at a label printer's resolution and never talks to a spooler.
    m_printer->setOutputFormat(QPrinter::PdfFormat);
    m_printer->setResolution(PrintJob::pdfResolution);
    m_printer->setFullPage(true);

    auto* tools = new QToolBar(this);
    tools->setObjectName(QStringLiteral("tools"));
    m_print = tools->addAction(tr("Print"));
    m_print->setObjectName(QStringLiteral("print"));
    m_print->setEnabled(false);
    tools->addSeparator();
    QAction* fitWidth = tools->addAction(tr("Fit width"));
    QAction* wholePage = tools->addAction(tr("Whole page"));
    QAction* zoomIn = tools->addAction(tr("Zoom in"));
    QAction* zoomOut = tools->addAction(tr("Zoom out"));

    m_groupTree = new QTreeWidget(this);
    m_groupTree->setObjectName(QStringLiteral("groupTree"));
    m_groupTree->setHeaderHidden(true);
    m_groupTree->setMaximumWidth(160);
    m_groupTree->setVisible(false);
    m_groupTree->setEnabled(false);

    m_preview = new QPrintPreviewWidget(m_printer.get(), this);
    m_preview->setObjectName(QStringLiteral("preview"));

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(m_groupTree);
    body->addWidget(m_preview, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tools);
    layout->addLayout(body, 1);

    connect(m_preview, &QPrintPreviewWidget::paintRequested, this,
            &ReportViewerControl::paintPages);
    connect(m_print, &QAction::triggered, this, &ReportViewerControl::onPrintButton);
    connect(fitWidth, &QAction::triggered, this, [this] { zoom(1); });
    connect(wholePage, &QAction::triggered, this, [this] { zoom(2); });
    connect(zoomIn, &QAction::triggered, m_preview, [this] { m_preview->zoomIn(); });
    connect(zoomOut, &QAction::triggered, m_preview, [this] { m_preview->zoomOut(); });
    connect(m_groupTree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const int page = item->data(0, Qt::UserRole).toInt();
        if (page > 0)
            m_preview->setCurrentPage(page);
    });
}

ReportViewerControl::~ReportViewerControl() = default;

void ReportViewerControl::setReportSource(Report* report) {
    m_report = report;
    m_print->setEnabled(report != nullptr);
    if (report)
        LabelRenderer::preparePage(*m_printer, report->labelTemplate());
    fillGroupTree();
}

void ReportViewerControl::setDisplayGroupTree(bool shown) {
    m_groupTree->setVisible(shown);
}

void ReportViewerControl::setEnableGroupTree(bool usable) {
    m_groupTree->setEnabled(usable);
}

void ReportViewerControl::zoom(qint16 level) {
    if (level == 1) {
        m_preview->fitToWidth();
    } else if (level == 2) {
        m_preview->fitInView();
    } else {
        m_preview->setZoomMode(QPrintPreviewWidget::CustomZoom);
        m_preview->setZoomFactor(std::clamp<int>(level, 25, 400) / 100.0);
    }
}

void ReportViewerControl::viewReport() {
    m_preview->updatePreview();
    fillGroupTree();
}

void ReportViewerControl::printReport() {
    if (!m_report)
        throw Failure(QStringLiteral("There is no report to print."));
    m_report->printOut(false);
}

void ReportViewerControl::paintPages(QPrinter* printer) {
    if (!m_report)
        return;
    QPainter painter(printer);
    try {
        m_report->printJob().paint(painter);
    } catch (const Failure& failure) {
        // What cannot be drawn is said on the page; printing it reports the failure.
        painter.setPen(Qt::red);
        painter.drawText(
            QRect(QPoint(0, 0), printer->pageLayout().fullRectPixels(printer->resolution()).size()),
            Qt::AlignCenter | Qt::TextWordWrap, failure.description());
    }
}

void ReportViewerControl::fillGroupTree() {
    m_groupTree->clear();
    if (!m_report)
        return;
    auto* root = new QTreeWidgetItem(m_groupTree, {m_report->reportTitle()});
    const int pages = std::max(1, m_preview->pageCount());
    for (int page = 1; page <= pages; ++page) {
        auto* item = new QTreeWidgetItem(root, {tr("Page %1").arg(page)});
        item->setData(0, Qt::UserRole, page);
    }
    root->setExpanded(true);
}

void ReportViewerControl::onPrintButton() {
    bool useDefault = true;
    Q_EMIT printButtonClicked(useDefault);
}
