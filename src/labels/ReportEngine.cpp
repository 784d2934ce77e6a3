#include "labels/ReportEngine.h"

#include "app/Failure.h"
#include "labels/LabelTemplate.h"

#include <QDir>

Report::Report(std::shared_ptr<const LabelTemplate> label)
    : m_label(std::move(label)) {
    m_fields.reserve(m_label->fields.size());
    for (const QString& name : m_label->fields)
        m_fields.emplace_back(name);
}

PrintJob Report::printJob() const {
    QStringList values;
    values.reserve(static_cast<qsizetype>(m_fields.size()));
    for (const ReportParameterField& field : m_fields)
        values.append(field.currentValue());
    return PrintJob(m_label, values, m_title, LabelDestination::fromTemplate(*m_label));
}

void Report::printOut(bool promptUser) {
    if (promptUser)
        throw Failure(QStringLiteral("The label report cannot ask for print settings."));
    if (m_prompting) {
        QStringList missing;
        for (const ReportParameterField& field : m_fields) {
            if (!field.hasCurrentValue())
                missing.append(field.name());
        }
        if (!missing.isEmpty())
            throw Failure(QStringLiteral("The label template \"%1\" needs values for %2.")
                              .arg(m_label->fileName, missing.join(QStringLiteral(", "))));
    }
    m_lastOutput = printJob().print();
}

std::unique_ptr<Report> ReportApplication::openReport(const QString& path, int openMethod) {
    if (openMethod != 1)
        throw Failure(QStringLiteral("The label template \"%1\" cannot be opened with method %2.")
                          .arg(QDir::toNativeSeparators(path), QString::number(openMethod)));
    return std::make_unique<Report>(
        std::make_shared<const LabelTemplate>(LabelTemplate::load(path)));
}
