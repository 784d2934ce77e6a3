#pragma once

#include "labels/PrintJob.h"

#include <QString>
#include <memory>
#include <optional>
#include <vector>

class LabelTemplate;

// The label report engine, in the shape the print routines use it: an application object opens
// a template into a report; the report has a title and parameter fields in the template's own
// order, each given a current value; printOut() prints it with no dialog.

class ReportParameterField {
public:
    explicit ReportParameterField(QString name)
        : m_name(std::move(name)) {}
    // The name is for people editing the template; values are handed over by position.
    const QString& name() const { return m_name; }
    void setCurrentValue(const QString& value) { m_value = value; }
    bool hasCurrentValue() const { return m_value.has_value(); }
    QString currentValue() const { return m_value.value_or(QString()); }

private:
    QString m_name;
    std::optional<QString> m_value;
};

class Report {
public:
    explicit Report(std::shared_ptr<const LabelTemplate> label);

    void setReportTitle(const QString& title) { m_title = title; }
    const QString& reportTitle() const { return m_title; }

    std::vector<ReportParameterField>& parameterFields() { return m_fields; }
    const std::vector<ReportParameterField>& parameterFields() const { return m_fields; }

    // With prompting enabled, a field without a current value would need the user's answer, so
    // printing refuses; with it disabled such fields print empty. Enabled on opening.
    void setEnableParameterPrompting(bool enabled) { m_prompting = enabled; }
    bool enableParameterPrompting() const { return m_prompting; }

    // Prints one job to the template's destination. promptUser true would need a dialog, which
    // this engine never shows: it is refused. Throws Failure.
    void printOut(bool promptUser = false);
    // The PDF file of the last printOut() to a PDF folder, else empty.
    const QString& lastOutputFile() const { return m_lastOutput; }

    // The job printOut() prints: the filled template and its destination.
    PrintJob printJob() const;
    const LabelTemplate& labelTemplate() const { return *m_label; }

private:
    std::shared_ptr<const LabelTemplate> m_label;
    QString m_title;
    std::vector<ReportParameterField> m_fields;
    bool m_prompting = true;
    QString m_lastOutput;
};

class ReportApplication {
public:
    // Open method 1 reads the template into a report of its own and keeps no hold on the file;
    // it is the only method. Throws Failure for an unreadable or wrong template.
    std::unique_ptr<Report> openReport(const QString& path, int openMethod);
};
