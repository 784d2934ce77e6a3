#include "labels/PrintJob.h"

#include "app/Failure.h"
#include "labels/LabelRenderer.h"
#include "labels/LabelTemplate.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>

namespace {

// Opens a new file in the folder under a name no other file has; never overwrites.
void openNewFile(QFile& file, const QString& folder) {
    const QString stem = QStringLiteral("label-") + QDateTime::currentDateTime().toString(
                                                        QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    for (int n = 1; n <= 10000; ++n) {
        const QString name =
            n == 1 ? stem + QStringLiteral(".pdf") : QStringLiteral("%1-%2.pdf").arg(stem).arg(n);
        file.setFileName(QDir(folder).filePath(name));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return;
        if (!file.exists())
            break; // not a clash: the folder cannot be written
    }
    throw Failure(QStringLiteral("The label folder \"%1\" cannot be written: %2.")
                      .arg(QDir::toNativeSeparators(folder), file.errorString()));
}

} // namespace

LabelDestination LabelDestination::fromTemplate(const LabelTemplate& label) {
    const QString& printer = label.printer;
    if (printer.startsWith(QLatin1String("pdf:"))) {
        const QString folder = printer.mid(4);
        return pdfFolder(QDir::cleanPath(QDir(label.folder).absoluteFilePath(folder)));
    }
    if (printer.isEmpty())
        return defaultPrinter();
    return LabelDestination::printer(printer);
}

PrintJob::PrintJob(std::shared_ptr<const LabelTemplate> label, QStringList values, QString title,
                   LabelDestination destination)
    : m_label(std::move(label))
    , m_values(std::move(values))
    , m_title(std::move(title))
    , m_destination(std::move(destination)) {}

void PrintJob::paint(QPainter& painter) const {
    LabelRenderer::render(painter, *m_label, m_values, m_title);
}

QString PrintJob::print() const {
    if (m_destination.kind() == LabelDestination::Kind::PdfFolder)
        return printToPdfFolder();
    printToPrinter();
    return QString();
}

QString PrintJob::printToPdfFolder() const {
    const QString& folder = m_destination.target();
    if (!QDir().mkpath(folder))
        throw Failure(QStringLiteral("The label folder \"%1\" cannot be created.")
                          .arg(QDir::toNativeSeparators(folder)));
    QFile file;
    openNewFile(file, folder);
    try {
        QPdfWriter writer(&file);
        writer.setResolution(pdfResolution);
        writer.setTitle(m_title);
        writer.setCreator(QStringLiteral("Quillon"));
        LabelRenderer::preparePage(writer, *m_label);
        QPainter painter;
        if (!painter.begin(&writer))
            throw Failure(QStringLiteral("The label file \"%1\" cannot be written.")
                              .arg(QDir::toNativeSeparators(file.fileName())));
        try {
            paint(painter);
        } catch (...) {
            painter.end();
            throw;
        }
        painter.end();
        file.close();
        if (file.error() != QFileDevice::NoError)
            throw Failure(QStringLiteral("The label file \"%1\" cannot be written: %2.")
                              .arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
    } catch (...) {
        file.remove(); // no half-written label stays behind
        throw;
    }
    return file.fileName();
}

void PrintJob::printToPrinter() const {
    QPrinterInfo info;
    if (m_destination.kind() == LabelDestination::Kind::DefaultPrinter) {
        info = QPrinterInfo::defaultPrinter();
        if (info.isNull())
            throw Failure(QStringLiteral(
                "No label printer is installed: the label template names no printer and this "
                "workstation has no default printer."));
    } else {
        info = QPrinterInfo::printerInfo(m_destination.target());
        if (info.isNull())
            throw Failure(QStringLiteral("The label printer \"%1\" is not installed.")
                              .arg(m_destination.target()));
    }

    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(m_title.isEmpty() ? QStringLiteral("Label") : m_title);
    printer.setFullPage(true);
    LabelRenderer::preparePage(printer, *m_label);
    QPainter painter;
    if (!painter.begin(&printer))
        throw Failure(
            QStringLiteral("The label printer \"%1\" cannot print.").arg(info.printerName()));
    try {
        paint(painter);
    } catch (...) {
        printer.abort();
        painter.end();
        throw;
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        throw Failure(QStringLiteral("The label printer \"%1\" did not accept the label.")
                          .arg(info.printerName()));
}
