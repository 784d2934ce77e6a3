#include "labels/PrintJob.h"

#include "app/Failure.h"
#include "labels/LabelRenderer.h"
#include "labels/LabelTemplate.h"
#include "labels/SpoolerQueue.h"
#include "labels/ZplNetworkPrinter.h"
#include "labels/ZplRenderer.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>
#include <QUrl>
#include <QUuid>
#include <QtMath>

namespace {

QString nativeName(const QString& path) {
    return QDir::toNativeSeparators(path);
}

[[noreturn]] void folderUnwritable(const QString& folder, const QString& reason) {
    throw Failure(QStringLiteral("The label folder \"%1\" cannot be written: %2.")
                      .arg(nativeName(folder), reason));
}

void makeFolder(const QString& folder) {
    if (!QDir().mkpath(folder))
        throw Failure(
            QStringLiteral("The label folder \"%1\" cannot be created.").arg(nativeName(folder)));
}

// The installed printer a destination names; throws when there is none.
QPrinterInfo installedPrinter(const LabelDestination& destination) {
    if (destination.kind() == LabelDestination::Kind::DefaultPrinter) {
        QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull())
            throw Failure(QStringLiteral(
                "No label printer is installed: the label template names no printer and this "
                "workstation has no default printer."));
        return info;
    }
    QPrinterInfo info = QPrinterInfo::printerInfo(destination.target());
    if (info.isNull())
        throw Failure(
            QStringLiteral("The label printer \"%1\" is not installed.").arg(destination.target()));
    return info;
}

// A label is written under a name no hot folder takes for a label (hidden, not "*.pdf") and
// unique without asking the folder, so two stations sharing a folder never write the same file.
QString asideName(const QString& folder) {
    return QDir(folder).filePath(
        QStringLiteral(".label-%1.part").arg(QUuid::createUuid().toString(QUuid::Id128)));
}

// Gives a complete label file a label name no other file has. QFile::rename never replaces an
// existing file, so a clash, even with another station's label, only moves on to the next name.
QString moveToNewLabelName(const QString& aside, const QString& folder, const QString& extension) {
    const QString stem = QStringLiteral("label-") + QDateTime::currentDateTime().toString(
                                                        QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QFile file(aside);
    for (int n = 1; n <= 10000; ++n) {
        QString name = QDir(folder).filePath(
            n == 1 ? stem + extension : QStringLiteral("%1-%2%3").arg(stem).arg(n).arg(extension));
        if (file.rename(name))
            return name;
        if (!QFileInfo::exists(name))
            break; // not a clash: the folder refuses the name
    }
    const QString reason = file.errorString();
    file.remove();
    folderUnwritable(folder, reason);
}

// The whole label file, written aside and then given its label name; a file appears whole or not
// at all. Unbuffered: a buffered QSaveFile commits a file whose last flush a full disk cut short.
QString writeLabelFile(const QString& folder, const QByteArray& label, const QString& extension) {
    makeFolder(folder);
    QSaveFile file(asideName(folder));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        folderUnwritable(folder, file.errorString());
    if (file.write(label) != label.size() || !file.commit())
        folderUnwritable(folder, file.errorString());
    return moveToNewLabelName(file.fileName(), folder, extension);
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
    if (!printer.startsWith(QLatin1String("zpl:")))
        return LabelDestination::printer(printer);
    // The template has checked the zpl: forms.
    const QString rest = printer.mid(4);
    LabelDestination zpl(Kind::ZplNetwork, QString());
    if (rest.startsWith(QLatin1String("queue:"))) {
        zpl = LabelDestination(Kind::ZplQueue, rest.mid(6));
    } else if (rest.startsWith(QLatin1String("file:"))) {
        zpl = LabelDestination(Kind::ZplFolder,
                               QDir::cleanPath(QDir(label.folder).absoluteFilePath(rest.mid(5))));
    } else {
        const QUrl url(rest);
        zpl.m_target = url.host();
        zpl.m_port = quint16(url.port(ZplNetworkPrinter::defaultPort));
    }
    zpl.m_askStatus = label.printerStatus;
    zpl.m_timeout = label.timeout;
    return zpl;
}

void LabelDestination::checkReady() const {
    switch (m_kind) {
    case Kind::DefaultPrinter:
    case Kind::Printer: {
        const QPrinterInfo info = installedPrinter(*this);
        if (SpoolerQueue::available())
            SpoolerQueue::checkReady(info.printerName());
        return;
    }
    case Kind::ZplQueue:
        SpoolerQueue::checkReady(m_target);
        return;
    case Kind::ZplNetwork:
        ZplNetworkPrinter(m_target, m_port, m_askStatus, m_timeout).checkReady();
        return;
    case Kind::PdfFolder:
    case Kind::ZplFolder:
        break;
    }
    makeFolder(m_target);
    // The folder takes a new file as printing makes one: hidden, never "*.pdf", removed at once.
    QFile probe(asideName(m_target));
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        folderUnwritable(m_target, probe.errorString());
    const bool written = probe.write("probe", 5) == 5 && probe.flush();
    const QString reason = probe.errorString();
    if (!probe.remove())
        folderUnwritable(m_target, probe.errorString());
    if (!written)
        folderUnwritable(m_target, reason);
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

QByteArray PrintJob::zpl() const {
    return ZplRenderer::render(*m_label, m_values, m_title);
}

QString PrintJob::print() const {
    using Kind = LabelDestination::Kind;
    switch (m_destination.kind()) {
    case Kind::PdfFolder:
        return printToPdfFolder();
    case Kind::ZplFolder:
        return printToZplFolder();
    case Kind::ZplNetwork: {
        // Drawn first: a label that cannot be drawn never reaches the printer.
        const QByteArray label = zpl();
        ZplNetworkPrinter(m_destination.target(), m_destination.port(), m_destination.m_askStatus,
                          m_destination.m_timeout)
            .print(label);
        return QString();
    }
    case Kind::ZplQueue: {
        const QByteArray label = zpl();
        SpoolerQueue::print(m_destination.target(),
                            {label,
                             QByteArrayLiteral("application/vnd.cups-raw"),
                             m_title.isEmpty() ? QStringLiteral("Label") : m_title,
                             {}},
                            m_destination.m_timeout);
        return QString();
    }
    case Kind::DefaultPrinter:
    case Kind::Printer:
        break;
    }
    printToPrinter();
    return QString();
}

QString PrintJob::printToZplFolder() const {
    return writeLabelFile(m_destination.target(), zpl(), QStringLiteral(".zpl"));
}

QString PrintJob::printToPdfFolder() const {
    const QString& folder = m_destination.target();
    const QByteArray page = pdfPage(pdfResolution);
    if (page.isEmpty())
        folderUnwritable(folder, QStringLiteral("the PDF writer cannot start"));
    return writeLabelFile(folder, page, QStringLiteral(".pdf"));
}

QByteArray PrintJob::pdfPage(int dpi) const {
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setResolution(dpi);
        writer.setTitle(m_title);
        writer.setCreator(QStringLiteral("Quillon"));
        LabelRenderer::preparePage(writer, *m_label);
        QPainter painter;
        if (!painter.begin(&writer))
            return QByteArray();
        paint(painter);
        painter.end();
    }
    return pdf.data();
}

void PrintJob::rehearse(int dpi) const {
    const double dotsPerMm = dpi / 25.4;
    QImage page(qMax(1, qCeil(m_label->size.width() * dotsPerMm)),
                qMax(1, qCeil(m_label->size.height() * dotsPerMm)), QImage::Format_Grayscale8);
    const int dotsPerMetre = qRound(dotsPerMm * 1000);
    page.setDotsPerMeterX(dotsPerMetre);
    page.setDotsPerMeterY(dotsPerMetre);
    QPainter painter(&page);
    paint(painter);
}

void PrintJob::printToPrinter() const {
    const QPrinterInfo info = installedPrinter(m_destination);
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(m_title.isEmpty() ? QStringLiteral("Label") : m_title);
    printer.setFullPage(true);
    LabelRenderer::preparePage(printer, *m_label);
    // The spooler prints whatever a begun job holds, even after an abort: a label that cannot
    // be drawn (its barcode cannot be encoded or does not fit) must fail before the job begins.
    rehearse(printer.resolution());
    if (SpoolerQueue::available()) {
        printThroughSpooler(info.printerName(), printer.resolution());
        return;
    }
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

void PrintJob::printThroughSpooler(const QString& queue, int dpi) const {
    const QByteArray pdf = pdfPage(dpi);
    if (pdf.isEmpty())
        throw Failure(QStringLiteral("The label printer \"%1\" cannot print.").arg(queue));
    // The label's own page size, as a QPrinter job names it, so the spooler neither scales nor
    // moves the label.
    const QPageSize page(m_label->size, QPageSize::Millimeter, QStringLiteral("Label"),
                         QPageSize::ExactMatch);
    SpoolerQueue::print(queue,
                        {pdf,
                         QByteArrayLiteral("application/pdf"),
                         m_title.isEmpty() ? QStringLiteral("Label") : m_title,
                         {{QByteArrayLiteral("media"), page.key().toUtf8()}}},
                        m_destination.m_timeout);
}
