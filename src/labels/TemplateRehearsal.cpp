#include "labels/TemplateRehearsal.h"

#include "app/Failure.h"
#include "labels/LabelPrinting.h"

#include <QPainter>
#include <QtMath>

namespace TemplateRehearsal {

namespace {

// A name part as wide as the lab database holds one (100 characters), of real name words.
QString namePart(const QStringList& words) {
    QString part;
    for (qsizetype i = 0; part.size() < 100; ++i)
        part += (part.isEmpty() ? QString() : QStringLiteral(" ")) + words.at(i % words.size());
    return part.left(100);
}

} // namespace

// Values that show the worst a label meets: the longest patient name the database can hand over
// (last, first and middle name at full width, joined as the database joins them), with quotes
// and letters beyond ASCII at its start, where the label shows them; the rest as the demo has them.
QStringList sampleValues() {
    const QString last = namePart({QStringLiteral("O'Brien-Peñaranda"),
                                   QStringLiteral("\"Dela Cruz\""), QStringLiteral("Łukasiewicz"),
                                   QStringLiteral("Müller"), QStringLiteral("Villanueva")});
    const QString first = namePart({QStringLiteral("María"), QStringLiteral("José"),
                                    QStringLiteral("Zoë"), QStringLiteral("Ángel")});
    const QString middle = namePart(
        {QStringLiteral("Ibáñez"), QStringLiteral("Søndergaard"), QStringLiteral("Çelik")});
    return {QStringLiteral("240507012301"),
            last + QStringLiteral(", ") + first + QLatin1Char(' ') + middle,
            QStringLiteral("0104217"),
            QStringLiteral("Microscopy Bench"),
            QStringLiteral("2024-05-07 13:05:09"),
            QStringLiteral("Ward 3-7"),
            QStringLiteral("42/F")};
}

Filler::Filler(std::shared_ptr<const LabelTemplate> label)
    : m_report(std::move(label)) {
    m_report.setReportTitle(LabelPrinting::reportTitle());
}

PrintJob Filler::job(const QStringList& values) {
    auto& fields = m_report.parameterFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (qsizetype(i) < values.size())
            fields[i].setCurrentValue(values.at(qsizetype(i)));
    }
    return m_report.printJob();
}

QImage labelImage(const LabelTemplate& label, int dpi) {
    const double dotsPerMm = dpi / 25.4;
    QImage image(qMax(1, qCeil(label.size.width() * dotsPerMm)),
                 qMax(1, qCeil(label.size.height() * dotsPerMm)), QImage::Format_Grayscale8);
    const int dotsPerMetre = qRound(dotsPerMm * 1000);
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    image.fill(Qt::white);
    return image;
}

QString itemPlace(const LabelItem& item, std::size_t index) {
    static const char* const types[] = {"text", "barcode", "line"};
    return QStringLiteral("item %1 (%2)").arg(index + 1).arg(QLatin1String(types[item.index()]));
}

std::vector<LabelTemplateFault> drawingFaults(const LabelTemplate& label, int dpi) {
    std::vector<LabelTemplateFault> faults;
    for (std::size_t i = 0; i < label.items.size(); ++i) {
        auto alone = std::make_shared<LabelTemplate>(label);
        alone->items = {label.items[i]};
        QImage image = labelImage(*alone, dpi);
        QPainter painter(&image);
        try {
            Filler(alone).job(sampleValues()).paint(painter);
        } catch (const RequestDataFailure& failure) {
            faults.push_back({itemPlace(label.items[i], i),
                              QStringLiteral("drawn at %1 dpi with the sample values: %2")
                                  .arg(dpi)
                                  .arg(failure.description())});
        } catch (const Failure& failure) {
            faults.push_back(
                {itemPlace(label.items[i], i),
                 QStringLiteral("drawn at %1 dpi: %2").arg(dpi).arg(failure.description())});
        }
    }
    return faults;
}

LabelTemplateCheck check(const QString& path, int dpi) {
    LabelTemplateCheck result = LabelTemplate::check(path);
    if (result.label) {
        std::vector<LabelTemplateFault> drawing = drawingFaults(*result.label, dpi);
        result.faults.insert(result.faults.end(), drawing.begin(), drawing.end());
    }
    return result;
}

} // namespace TemplateRehearsal
