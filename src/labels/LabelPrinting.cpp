#include "labels/LabelPrinting.h"

#include "app/Failure.h"
#include "app/FilePlaces.h"
#include "labels/LabelTemplate.h"
#include "labels/PrintJob.h"

#include <QFileInfo>

namespace {

QString confirmation(const Report& report) {
    using Kind = LabelDestination::Kind;
    const LabelDestination destination = report.printJob().destination();
    switch (destination.kind()) {
    case Kind::PdfFolder:
    case Kind::ZplFolder:
        return QStringLiteral("file %1").arg(QFileInfo(report.lastOutputFile()).fileName());
    case Kind::ZplNetwork:
        return QStringLiteral("printer held and printed it");
    case Kind::ZplQueue:
    case Kind::Printer:
    case Kind::DefaultPrinter:
        return QStringLiteral("spooler job completed");
    }
    return {};
}

} // namespace

LabelPrinting::LabelPrinting()
    : m_templatePath(FilePlaces::templatePath()) {}

void LabelPrinting::printBarcodeLabel(const QString& barcode, const QString& patientName,
                                      const QString& hospNum, const QString& instrument,
                                      const QString& transDate, const QString& roomId,
                                      const QString& ageSex, qint16 copies) {
    // The counter is wider than the count, so 32767 copies end.
    for (int copy = 1; copy <= copies; ++copy) {
        const QStringList labelValues{barcode,   patientName, hospNum, instrument,
                                      transDate, roomId,      ageSex};
        prepareReport(m_templatePath, labelValues);
        presentReport(false, printCaption(), true);
    }
}

void LabelPrinting::checkReady() const {
    LabelDestination::fromTemplate(LabelTemplate::load(m_templatePath)).checkReady();
}

void LabelPrinting::prepareReport(const QString& path, const QStringList& values) {
    m_activeReport.reset();
    ReportApplication application;
    m_activeReport = application.openReport(path, 1);
    m_activeReport->setReportTitle(reportTitle());
    if (values.isEmpty())
        return;
    auto& fields = m_activeReport->parameterFields();
    const std::size_t count = std::min(fields.size(), static_cast<std::size_t>(values.size()));
    for (std::size_t i = 0; i < count; ++i)
        fields[i].setCurrentValue(values.at(static_cast<qsizetype>(i)));
}

void LabelPrinting::presentReport(bool showGroupTree, const QString& caption, bool directPrint) {
    if (!m_activeReport)
        throw Failure(QStringLiteral("There is no label report to print."));
    if (directPrint) {
        m_activeReport->setEnableParameterPrompting(false);
        m_lastPrinter = m_activeReport->labelTemplate().printer;
        m_lastConfirmation.clear();
        m_activeReport->printOut(false);
        m_lastConfirmation = confirmation(*m_activeReport);
        m_activeReport.reset();
        return;
    }
    if (!m_viewer)
        throw Failure(QStringLiteral("The report viewer is not available."));
    m_viewer(*this, showGroupTree, caption, directPrint);
}
