#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class LabelTemplate;
class QPainter;

// Where a label goes: the system default printer, a named printer, or a folder that receives each
// job as a new PDF file; or, as ZPL, a network printer, a raw spooler queue or a folder.
class LabelDestination {
public:
    enum class Kind { DefaultPrinter, Printer, PdfFolder, ZplNetwork, ZplQueue, ZplFolder };

    static LabelDestination defaultPrinter() { return LabelDestination(Kind::DefaultPrinter, {}); }
    static LabelDestination printer(const QString& name) { return {Kind::Printer, name}; }
    static LabelDestination pdfFolder(const QString& folder) { return {Kind::PdfFolder, folder}; }
    // From the template's "printer": "" the default printer, "pdf:<folder>" (relative to the
    // template's folder unless absolute), "zpl:tcp://<host>[:<port>]", "zpl:queue:<name>",
    // "zpl:file:<folder>", anything else a printer name. Takes the template's status and
    // time-out settings along.
    static LabelDestination fromTemplate(const LabelTemplate& label);

    // Throws Failure in the station's words when a label could not go here now: no such printer,
    // no default printer, a queue that is stopped or reports a fault, a network printer that
    // cannot be reached or reports a fault, or a folder that cannot be created or takes no new
    // file. Creates a missing folder, as printing would, and leaves no file behind.
    void checkReady() const;

    Kind kind() const { return m_kind; }
    // The printer or queue name, the folder, or the network printer's host.
    const QString& target() const { return m_target; }
    quint16 port() const { return m_port; }
    bool isZpl() const {
        return m_kind == Kind::ZplNetwork || m_kind == Kind::ZplQueue || m_kind == Kind::ZplFolder;
    }

private:
    LabelDestination(Kind kind, QString target)
        : m_kind(kind)
        , m_target(std::move(target)) {}
    Kind m_kind;
    QString m_target;
    quint16 m_port = 0;
    bool m_askStatus = true;
    int m_timeout = 30;
    friend class PrintJob;
};

// One print job: a filled label and where it goes. Needs no window; the report engine, the
// preview and the benchmarks all print through it.
class PrintJob {
public:
    PrintJob(std::shared_ptr<const LabelTemplate> label, QStringList values, QString title,
             LabelDestination destination);

    // Prints the label as one job, with no dialog, and returns once the printer or the spooler
    // has confirmed it where it can: a network ZPL printer reports it printed (unless its status
    // is off), a spooler queue reports the job completed (where libcups is there). Returns the
    // file written for a folder, else the empty text; a file appears whole or not at all and
    // never replaces another. Throws Failure in the station's words when it cannot print:
    // RequestDataFailure when only the values are at fault.
    QString print() const;

    // The label as a ZPL format at the template's dpi (ZplRenderer).
    QByteArray zpl() const;

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
    QString printToZplFolder() const;
    void printToPrinter() const;
    void printThroughSpooler(const QString& queue, int dpi) const;
    // The label as a one-page PDF; empty when the PDF writer cannot start.
    QByteArray pdfPage(int dpi) const;
    // Draws the label once, unseen, at a resolution: throws what printing it would throw.
    void rehearse(int dpi) const;

    std::shared_ptr<const LabelTemplate> m_label;
    QStringList m_values;
    QString m_title;
    LabelDestination m_destination;
};
