#pragma once

#include "labels/ReportEngine.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>
#include <memory>

// Label report printing: fills the label template beside the executable with a label's seven
// values and prints it once per copy, with no dialog. ActiveReport holds the report between
// prepareReport() and presentReport(); it is empty between labels.
class LabelPrinting {
public:
    // Shows ActiveReport in the report viewer window and returns when the window has closed.
    // Window code registers it (frmReportViewer); this library has no windows.
    using Viewer = std::function<void(LabelPrinting& printing, bool showGroupTree,
                                      const QString& caption, bool directPrint)>;

    LabelPrinting();

    // FilePlaces::templatePath(), unless a test set another.
    const QString& templatePath() const { return m_templatePath; }
    void setTemplatePath(const QString& path) { m_templatePath = path; }
    void setViewer(Viewer viewer) { m_viewer = std::move(viewer); }

    // One complete print run per copy: the template is opened, filled and printed again for
    // each. Copies below 1 print nothing. ageSex is already joined ("42/F", "/" when both are
    // empty). Throws Failure, RequestDataFailure when only these values are at fault; the copies
    // not yet printed are then not printed.
    void printBarcodeLabel(const QString& barcode, const QString& patientName,
                           const QString& hospNum, const QString& instrument,
                           const QString& transDate, const QString& roomId, const QString& ageSex,
                           qint16 copies);

    // Throws Failure in the station's words when the next label could not be printed whatever
    // its values: the template at templatePath() cannot be read or is wrong, or its printer or
    // PDF folder is not there. Prints nothing and leaves no file behind.
    void checkReady() const;

    // Opens the template into ActiveReport, titles it "Quillon" and gives its parameter fields
    // the values by position: value 1 to the first field, and so on, as far as both reach.
    void prepareReport(const QString& path, const QStringList& values);

    // Direct print: prints ActiveReport with no dialog and releases it. Otherwise shows it in
    // the report viewer window, which releases it when it closes.
    void presentReport(bool showGroupTree, const QString& caption, bool directPrint);

    Report* activeReport() const { return m_activeReport.get(); }
    // Where the last label went, as the template names it ("" the default printer).
    const QString& lastPrinter() const { return m_lastPrinter; }
    // What the printer side confirmed of the last label: the PDF file written, the spooler job
    // completed, the network printer's held and printed labels.
    const QString& lastConfirmation() const { return m_lastConfirmation; }
    void releaseActiveReport() { m_activeReport.reset(); }

    static QString reportTitle() { return QStringLiteral("Quillon"); }
    static QString printCaption() { return QStringLiteral("Print Barcode Sticker"); }

private:
    QString m_templatePath;
    std::unique_ptr<Report> m_activeReport;
    QString m_lastPrinter;
    QString m_lastConfirmation;
    Viewer m_viewer;
};
