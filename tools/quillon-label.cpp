// quillon-label: checks, previews and prints a label template with the station's own label
// engine, so what it shows is what the station prints. Needs no window or display.
//   quillon-label check <template> [--dpi N]
//   quillon-label render <template> (--values a,b,... | --value v ... | --sample
//                                   | --records file.csv) -o out.pdf|out.png [--dpi N]
//   quillon-label print <template> (--values a,b,... | --value v ... | --sample)

#include "RecordsCsv.h"

#include "app/Failure.h"
#include "labels/LabelPrinting.h"
#include "labels/LabelRenderer.h"
#include "labels/LabelTemplate.h"
#include "labels/PrintJob.h"
#include "labels/ReportEngine.h"
#include "labels/TemplateRehearsal.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinterInfo>
#include <QSaveFile>
#include <QSet>
#include <QTextStream>
#include <QtMath>
#include <memory>
#include <optional>
#include <utility>

using namespace TemplateRehearsal;

namespace {

enum Exit { Good = 0, Faulty = 1, Usage = 2 };

// The station hands every label these seven values, in this order.
constexpr int stationValues = 7;

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

int usageError(const QString& what) {
    err() << "quillon-label: " << what << "\nTry \"quillon-label --help\".\n";
    return Usage;
}

int failed(const QString& what) {
    err() << "quillon-label: " << what << '\n';
    return Faulty;
}

// "--values" text: values split at commas; "\," is a comma within a value, "\\" a backslash.
std::optional<QStringList> splitValues(const QString& text) {
    QStringList values{QString()};
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char(',')) {
            values.append(QString());
        } else if (c == QLatin1Char('\\')) {
            if (i + 1 == text.size() ||
                (text.at(i + 1) != QLatin1Char(',') && text.at(i + 1) != QLatin1Char('\\')))
                return std::nullopt;
            values.last() += text.at(++i);
        } else {
            values.last() += c;
        }
    }
    return values;
}

QString destinationText(const LabelDestination& destination) {
    switch (destination.kind()) {
    case LabelDestination::Kind::DefaultPrinter:
        return QStringLiteral("the default printer");
    case LabelDestination::Kind::Printer:
        return QStringLiteral("the printer \"%1\"").arg(destination.target());
    case LabelDestination::Kind::PdfFolder:
        return QStringLiteral("PDF files in \"%1\"")
            .arg(QDir::toNativeSeparators(destination.target()));
    case LabelDestination::Kind::ZplNetwork:
        return QStringLiteral("the ZPL printer at %1:%2")
            .arg(destination.target())
            .arg(destination.port());
    case LabelDestination::Kind::ZplQueue:
        return QStringLiteral("the raw spooler queue \"%1\"").arg(destination.target());
    case LabelDestination::Kind::ZplFolder:
        return QStringLiteral("ZPL files in \"%1\"")
            .arg(QDir::toNativeSeparators(destination.target()));
    }
    return QString();
}

// What is true of this computer rather than of the template: it does not make a fault, since a
// template is often checked away from the station that prints it.
QStringList notes(const LabelTemplate& label) {
    QStringList notes;
    const LabelDestination destination = LabelDestination::fromTemplate(label);
    if (destination.kind() == LabelDestination::Kind::DefaultPrinter &&
        QPrinterInfo::defaultPrinter().isNull())
        notes.append(QStringLiteral("this computer has no default printer"));
    if (destination.kind() == LabelDestination::Kind::Printer &&
        QPrinterInfo::printerInfo(destination.target()).isNull())
        notes.append(QStringLiteral("the printer \"%1\" is not installed on this computer")
                         .arg(destination.target()));

    QStringList families;
    for (const LabelItem& item : label.items) {
        if (const auto* text = std::get_if<LabelText>(&item))
            families.append(text->font.family);
        else if (const auto* barcode = std::get_if<LabelBarcode>(&item);
                 barcode && barcode->humanReadable)
            families.append(barcode->font.family);
    }
    families.removeDuplicates();
    for (const QString& family : std::as_const(families)) {
        if (QFontDatabase::hasFamily(family))
            continue;
        notes.append(QStringLiteral("the font \"%1\" is not installed on this computer; \"%2\" "
                                    "stands in for it here")
                         .arg(family, QFontInfo(QFont(family)).family()));
    }
    if (label.fields.size() > stationValues)
        notes.append(QStringLiteral("the station hands over seven values, so %1 always print "
                                    "empty")
                         .arg(label.fields.mid(stationValues).join(QStringLiteral(", "))));
    return notes;
}

int check(const QString& path, int dpi) {
    const QString name = QDir::toNativeSeparators(path);
    LabelTemplateCheck result = TemplateRehearsal::check(path, dpi);
    for (const LabelTemplateFault& fault : result.faults)
        out() << name << ": "
              << (fault.place.isEmpty() ? QString() : fault.place + QStringLiteral(": "))
              << fault.what << '\n';
    if (!result.faults.empty()) {
        out() << result.faults.size() << (result.faults.size() == 1 ? " fault" : " faults")
              << " in " << name << ".\n";
        return Faulty;
    }
    const LabelTemplate& label = *result.label;
    out() << name << ": good: a " << label.size.width() << " x " << label.size.height()
          << " mm label with " << label.fields.size() << " fields and " << label.items.size()
          << " items, printed to " << destinationText(LabelDestination::fromTemplate(label))
          << ".\n";
    for (const QString& note : notes(label))
        out() << "note: " << note << ".\n";
    return Good;
}

bool isPdf(const QString& path) {
    return path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
}

// Writes one page per record into a PDF, as the station's PDF folder does, whole or not at all.
// next() gives the next record's values and a name for it in messages, false at the end.
// none says what is wrong when there is no record.
template <typename Next>
int writePdf(const LabelTemplate& label, const QString& output, int dpi, const QString& none,
             Next&& next) {
    auto shared = std::make_shared<const LabelTemplate>(label);
    Filler filler(shared);
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly))
        return failed(QStringLiteral("\"%1\" cannot be written: %2.")
                          .arg(QDir::toNativeSeparators(output), file.errorString()));
    int pages = 0;
    {
        QPdfWriter writer(&file);
        writer.setResolution(dpi);
        writer.setTitle(LabelPrinting::reportTitle());
        writer.setCreator(QStringLiteral("Quillon"));
        LabelRenderer::preparePage(writer, label);
        QPainter painter;
        QStringList values;
        QString record;
        while (true) {
            std::optional<QString> problem;
            if (!next(values, record, problem)) {
                if (problem)
                    return failed(*problem);
                break;
            }
            if (pages == 0 && !painter.begin(&writer))
                return failed(QStringLiteral("the PDF writer cannot start."));
            if (pages > 0 && !writer.newPage())
                return failed(QStringLiteral("the PDF writer cannot start a new page."));
            try {
                filler.job(values).paint(painter);
            } catch (const Failure& failure) {
                return failed(record + failure.description());
            }
            ++pages;
        }
        if (pages == 0)
            return failed(none);
        painter.end();
    }
    // A buffered QSaveFile commits a file whose last flush a full disk cut short.
    if (!file.flush() || !file.commit())
        return failed(QStringLiteral("\"%1\" cannot be written: %2.")
                          .arg(QDir::toNativeSeparators(output), file.errorString()));
    out() << QDir::toNativeSeparators(output) << ": " << pages
          << (pages == 1 ? " label" : " labels") << ".\n";
    return Good;
}

int writePng(const LabelTemplate& label, const QString& output, int dpi,
             const QStringList& values) {
    QImage image = labelImage(label, dpi);
    {
        QPainter painter(&image);
        try {
            Filler(std::make_shared<const LabelTemplate>(label)).job(values).paint(painter);
        } catch (const Failure& failure) {
            return failed(failure.description());
        }
    }
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.flush() ||
        !file.commit())
        return failed(QStringLiteral("\"%1\" cannot be written: %2.")
                          .arg(QDir::toNativeSeparators(output), file.errorString()));
    out() << QDir::toNativeSeparators(output) << ": 1 label.\n";
    return Good;
}

int render(const QString& path, const QStringList* values, const QString& records,
           const QString& output, int dpi) {
    std::optional<LabelTemplate> label;
    try {
        label = LabelTemplate::load(path);
    } catch (const Failure& failure) {
        return failed(failure.description());
    }
    if (!isPdf(output))
        return writePng(*label, output, dpi, *values);
    if (values) {
        bool given = false;
        return writePdf(*label, output, dpi, QString(),
                        [&](QStringList& v, QString&, std::optional<QString>&) {
                            v = *values;
                            return !std::exchange(given, true);
                        });
    }
    QFile file(records);
    if (!file.open(QIODevice::ReadOnly))
        return failed(QStringLiteral("the records \"%1\" cannot be read: %2.")
                          .arg(QDir::toNativeSeparators(records), file.errorString()));
    const QString name = QDir::toNativeSeparators(records);
    RecordsCsv csv(file);
    if (!csv.readHeader())
        return failed(name + QStringLiteral(", ") + csv.error() + QLatin1Char('.'));
    return writePdf(*label, output, dpi,
                    QStringLiteral("%1 holds no record below its first line.").arg(name),
                    [&](QStringList& v, QString& record, std::optional<QString>& problem) {
                        if (csv.next(v)) {
                            record = QStringLiteral("%1, line %2: ").arg(name).arg(csv.line());
                            return true;
                        }
                        if (!csv.error().isEmpty())
                            problem = name + QStringLiteral(", ") + csv.error() + QLatin1Char('.');
                        return false;
                    });
}

int print(const QString& path, const QStringList& values) {
    try {
        const LabelDestination destination =
            LabelDestination::fromTemplate(LabelTemplate::load(path));
        LabelPrinting printing;
        printing.setTemplatePath(path);
        printing.printBarcodeLabel(values.at(0), values.at(1), values.at(2), values.at(3),
                                   values.at(4), values.at(5), values.at(6), 1);
        out() << "Printed 1 label to " << destinationText(destination) << ".\n";
        return Good;
    } catch (const Failure& failure) {
        return failed(failure.description());
    }
}

// Always off screen: the tool never shows a window, so it runs the same on a server, in a
// closed remote session, or with a platform named in the environment that cannot start.
void choosePlatform() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
}

const char* const description =
    "Checks, previews and prints a label template with the station's own label engine.\n"
    "\n"
    "Commands:\n"
    "  check <template>    report every fault of the template, each with its place\n"
    "  render <template>   write the filled label to -o out.pdf or out.png; --records writes\n"
    "                      one PDF page per record\n"
    "  print <template>    print one label to the template's printer, as the station does\n"
    "\n"
    "Values go by position, as the station hands them: barcode, patient name, hospital\n"
    "number, instrument, transaction date, room, age/sex. Missing ones are empty.\n"
    "\n"
    "Exit status: 0 good, 1 faults or a failure, 2 a wrong command line.";

int run() {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(description));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version."));
    const QCommandLineOption valuesOption(
        QStringLiteral("values"),
        QStringLiteral("The label's values, separated by commas; \\, is a comma within a value "
                       "and \\\\ a backslash."),
        QStringLiteral("a,b,..."));
    const QCommandLineOption valueOption(
        QStringLiteral("value"),
        QStringLiteral("One value, taken as written; repeat for the next positions."),
        QStringLiteral("text"));
    const QCommandLineOption sampleOption(
        QStringLiteral("sample"),
        QStringLiteral("Sample values: the longest patient name, quotes and non-ASCII letters."));
    const QCommandLineOption recordsOption(
        QStringLiteral("records"),
        QStringLiteral("render to PDF: one page per record of a CSV file whose first line names "
                       "its columns among barcode, name, hn, group (the instrument), date, room "
                       "and agesex."),
        QStringLiteral("file.csv"));
    const QCommandLineOption outputOption(
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("render: the file to write, ending in .pdf or .png."),
        QStringLiteral("file"));
    const QCommandLineOption dpiOption(
        QStringLiteral("dpi"),
        QStringLiteral("The printer resolution to draw at: barcodes are drawn in whole dots "
                       "(default %1, the station's PDF resolution).")
            .arg(PrintJob::pdfResolution),
        QStringLiteral("N"));
    parser.addOptions({help, version, valuesOption, valueOption, sampleOption, recordsOption,
                       outputOption, dpiOption});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("check, render or print"));
    parser.addPositionalArgument(QStringLiteral("template"),
                                 QStringLiteral("the label template, e.g. LabBarcodeLabel.rpt"));

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        out() << parser.helpText();
        return Good;
    }
    if (parser.isSet(version)) {
        out() << "quillon-label " << QUILLON_VERSION << '\n';
        return Good;
    }

    const QStringList arguments = parser.positionalArguments();
    if (arguments.isEmpty())
        return usageError(QStringLiteral("give a command: check, render or print."));
    const QString& command = arguments.at(0);
    if (command != QLatin1String("check") && command != QLatin1String("render") &&
        command != QLatin1String("print"))
        return usageError(QStringLiteral("unknown command \"%1\".").arg(command));
    if (arguments.size() != 2)
        return usageError(QStringLiteral("%1 takes one template.").arg(command));
    const QString& path = arguments.at(1);

    int dpi = PrintJob::pdfResolution;
    if (parser.isSet(dpiOption)) {
        bool ok = false;
        dpi = parser.value(dpiOption).toInt(&ok);
        if (!ok || dpi < 50 || dpi > 2400)
            return usageError(QStringLiteral("--dpi takes a whole number from 50 to 2400."));
        if (command == QLatin1String("print"))
            return usageError(QStringLiteral("print draws at the printer's own resolution."));
    }

    const int sources = int(parser.isSet(valuesOption)) + int(parser.isSet(valueOption)) +
                        int(parser.isSet(sampleOption)) + int(parser.isSet(recordsOption));
    if (command == QLatin1String("check")) {
        if (sources > 0 || parser.isSet(outputOption))
            return usageError(QStringLiteral("check takes the template alone."));
        return check(path, dpi);
    }
    if (sources != 1)
        return usageError(
            QStringLiteral("%1 takes the values from one of --values, --value, --sample%2.")
                .arg(command, command == QLatin1String("render") ? QStringLiteral(" or --records")
                                                                 : QString()));

    QStringList values;
    if (parser.isSet(sampleOption)) {
        values = sampleValues();
    } else if (parser.isSet(valuesOption)) {
        const std::optional<QStringList> split = splitValues(parser.value(valuesOption));
        if (!split)
            return usageError(
                QStringLiteral("in --values a backslash goes before a comma or a backslash only."));
        values = *split;
    } else if (parser.isSet(valueOption)) {
        values = parser.values(valueOption);
    }
    if (values.size() > stationValues)
        return usageError(QStringLiteral("the station hands a label seven values; %1 were given.")
                              .arg(values.size()));
    while (!parser.isSet(recordsOption) && values.size() < stationValues)
        values.append(QString());

    if (command == QLatin1String("print")) {
        if (parser.isSet(outputOption) || parser.isSet(recordsOption))
            return usageError(QStringLiteral("print sends one label to the template's printer; "
                                             "render writes files."));
        return print(path, values);
    }

    const QString output = parser.value(outputOption);
    if (output.isEmpty())
        return usageError(QStringLiteral("render needs -o out.pdf or -o out.png."));
    if (!isPdf(output) && !output.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        return usageError(QStringLiteral("the output must end in .pdf or .png."));
    if (parser.isSet(recordsOption) && !isPdf(output))
        return usageError(QStringLiteral("--records writes a PDF, one page per record."));
    const QString records = parser.value(recordsOption);
    for (const QString& input : {path, records}) {
        if (!input.isEmpty() &&
            QFileInfo(input).absoluteFilePath() == QFileInfo(output).absoluteFilePath())
            return usageError(QStringLiteral("the output would replace \"%1\".").arg(input));
    }
    return render(path, parser.isSet(recordsOption) ? nullptr : &values, records, output, dpi);
}

} // namespace

int main(int argc, char* argv[]) {
    // Help and the version need no platform, so they answer even where no display opens.
    const bool answerOnly =
        argc == 2 && (qstrcmp(argv[1], "--version") == 0 || qstrcmp(argv[1], "--help") == 0 ||
                      qstrcmp(argv[1], "-h") == 0);
    choosePlatform();
    const std::unique_ptr<QCoreApplication> app =
        answerOnly ? std::make_unique<QCoreApplication>(argc, argv)
                   : std::make_unique<QGuiApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillon-label"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
    const int status = run();
    out().flush();
    err().flush();
    return status;
}
