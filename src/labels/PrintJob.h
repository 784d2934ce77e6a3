#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class LabelTemplate;
class QPainter;

// Where a label goes: the system default printer, a named printer, or a folder that receives each
// job as a new PDF file.
class LabelDestination {
public:
    enum class Kind { DefaultPrinter, Printer, PdfFolder };

    static LabelDestination defaultPrinter() { return LabelDestination(Kind::DefaultPrinter, {}); }
    static LabelDestination printer(const QString& name) { return {Kind::Printer, name}; }
    static LabelDestination pdfFolder(const QString& folder) { return {Kind::PdfFolder, folder}; }
    // From the template's "printer": "" the default printer, "pdf:<folder>" (relative to the
    // template's folder unless absolute), anything else a printer name.
    static LabelDestination fromTemplate(const LabelTemplate& label);

    // Throws Failure in the station's words when a label could not go here now: no such printer,
    // no default printer, or a PDF folder that cannot be created or takes no new file. Creates a
    // missing PDF folder, as printing would, and leaves no file behind.
    void checkReady() const;

    Kind kind() const { return m_kind; }
    // The printer name, or the PDF folder.
    const QString& target() const { return m_target; }

private:
    LabelDestination(Kind kind, QString target)
        : m_kind(kind)
        , m_target(std::move(target)) {}
    Kind m_kind;
    QString m_target;
};

// One print job: a filled label and where it goes. Needs no window; the report engine, the
// preview and the benchmarks all print through it.
class PrintJob {
public:
    PrintJob(std::shared_ptr<const LabelTemplate> label, QStringList values, QString title,
             LabelDestination destination);

    // Prints the label as one job, with no dialog. Returns the PDF file written for a PDF
    // folder, else the empty text; a PDF file appears whole or not at all and never replaces
    // another. Throws Failure in the station's words when it cannot print: RequestDataFailure
    // when only the values are at fault.
    QString print() const;

    // Draws the label onto an open painter whose device already has the label's page.
    void paint(QPainter& painter) const;

    const LabelTemplate& label() const { return *m_label; }
    const QStringList& values() const { return m_values; }
    const QString& title() const { return m_title; }
    const LabelDestination& destination() const { return m_destination; }

    // The resolution of the PDF files written to a PDF folder: a common label printer's.
    static constexpr int pdfResolution = 300;

private:
    QString printToPdfFolder() const;
    void printToPrinter() const;
    // Draws the label once, unseen, at a resolution: throws what printing it would throw.
    void rehearse(int dpi) const;

    std::shared_ptr<const LabelTemplate> m_label;
    QStringList m_values;
    QString m_title;
    LabelDestination m_destination;
};
