#include "labels/LabelRenderer.h"

#include "app/Failure.h"
#include "labels/BarcodeSymbol.h"
#include "labels/LabelTemplate.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <cmath>

namespace {

constexpr double mmPerInch = 25.4;
constexpr double smallestShrink = 0.6; // a text too wide for its box shrinks to 60 % at most

struct Dots {
    double x; // device dots per millimetre, across
    double y; // and down
    QRectF box(const QRectF& mm) const {
        return QRectF(mm.x() * x, mm.y() * y, mm.width() * x, mm.height() * y);
    }
};

Qt::Alignment horizontal(LabelAlign align) {
    switch (align) {
    case LabelAlign::Left:
        return Qt::AlignLeft;
    case LabelAlign::Center:
        return Qt::AlignHCenter;
    case LabelAlign::Right:
        return Qt::AlignRight;
    }
    return Qt::AlignLeft;
}

QFont makeFont(const LabelFont& wanted) {
    QFont font(wanted.family);
    font.setPointSizeF(wanted.size);
    font.setBold(wanted.bold);
    // Printed glyphs are outlines at the printer's resolution; hinting only costs time.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// One line of text in its box: shrunk when too large, then cut with an ellipsis if still too wide.
void drawTextLine(QPainter& painter, QFont font, const QRectF& box, Qt::Alignment align,
                  QString text) {
    QFontMetricsF metrics(font, painter.device());
    const double width = metrics.horizontalAdvance(text);
    const double height = metrics.height();
    if (width > box.width() || height > box.height()) {
        const double shrink = std::max(
            smallestShrink, std::min(box.width() / std::max(width, 1.0), box.height() / height));
        font.setPointSizeF(font.pointSizeF() * shrink);
        metrics = QFontMetricsF(font, painter.device());
        text = metrics.elidedText(text, Qt::ElideRight, box.width());
    }
    painter.setFont(font);
    painter.drawText(box, align | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

void drawText(QPainter& painter, const LabelText& item, const QString& value, const Dots& dots) {
    const QString text = item.prefix + value;
    if (text.isEmpty())
        return;
    drawTextLine(painter, makeFont(item.font), dots.box(item.box), horizontal(item.align), text);
}

void drawBarcode(QPainter& painter, const LabelBarcode& item, const QString& value,
                 const LabelTemplate& label, bool fromRequest, const Dots& dots) {
    const QString named = item.content.named(value, label.fields);
    const BarcodeSymbol symbol =
        BarcodeSymbol::encode(item.symbology, value, item.quietZones, fromRequest, named);
    const QSizeF modules = symbol.size();

    // The box on whole dots, inside the template's box.
    const QRectF exact = dots.box(item.box);
    const int left = static_cast<int>(std::ceil(exact.left() - 1e-6));
    const int top = static_cast<int>(std::ceil(exact.top() - 1e-6));
    const int width = static_cast<int>(std::floor(exact.right() + 1e-6)) - left;
    const int height = static_cast<int>(std::floor(exact.bottom() + 1e-6)) - top;

    const QFont font = makeFont(item.font);
    const bool withText = item.humanReadable && !symbol.humanReadable().isEmpty();
    const int textHeight =
        withText ? static_cast<int>(std::ceil(QFontMetricsF(font, painter.device()).height())) : 0;
    const int barsHeight = height - textHeight;

    const int module = symbol.fitModule(width, barsHeight, textHeight, dots.x, dots.y, label.dpi,
                                        named, item.box.size(), fromRequest);
    const int symbolWidth = module * static_cast<int>(std::lround(modules.width()));
    int x0 = left;
    if (item.align == LabelAlign::Center)
        x0 += (width - symbolWidth) / 2;
    else if (item.align == LabelAlign::Right)
        x0 += width - symbolWidth;

    const double yScale = symbol.fixedRatio() ? module : barsHeight / modules.height();
    const int symbolHeight = static_cast<int>(std::lround(modules.height() * yScale));
    for (const QRectF& bar : symbol.bars()) {
        const long x = x0 + std::lround(bar.x()) * module;
        const long w = std::lround(bar.width()) * module;
        const long y = top + std::lround(bar.y() * yScale);
        const long h = top + std::lround(bar.bottom() * yScale) - y;
        painter.fillRect(QRect(int(x), int(y), int(w), int(h)), Qt::black);
    }
    if (withText) {
        // The line centres under the symbol and may use the box's whole width.
        const double centre = x0 + symbolWidth / 2.0;
        const double half = std::min(centre - left, left + width - centre);
        drawTextLine(painter, font, QRectF(centre - half, top + symbolHeight, 2 * half, textHeight),
                     Qt::AlignHCenter, symbol.humanReadable());
    }
}

void drawLine(QPainter& painter, const LabelLine& line, const Dots& dots) {
    QPen pen(Qt::black);
    pen.setWidthF(std::max(1.0, std::round(line.thickness * dots.y)));
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    painter.drawLine(QPointF(line.from.x() * dots.x, line.from.y() * dots.y),
                     QPointF(line.to.x() * dots.x, line.to.y() * dots.y));
}

} // namespace

void LabelRenderer::preparePage(QPagedPaintDevice& device, const LabelTemplate& label) {
    const QPageSize size(label.size, QPageSize::Millimeter, QStringLiteral("Label"),
                         QPageSize::ExactMatch);
    device.setPageLayout(QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                                     QPageLayout::Millimeter, QMarginsF(0, 0, 0, 0)));
}

void LabelRenderer::render(QPainter& painter, const LabelTemplate& label, const QStringList& values,
                           const QString& title) {
    const Dots dots{painter.device()->logicalDpiX() / mmPerInch,
                    painter.device()->logicalDpiY() / mmPerInch};
    struct Saved {
        QPainter& painter;
        explicit Saved(QPainter& p)
            : painter(p) {
            painter.save();
        }
        ~Saved() { painter.restore(); }
    } saved(painter);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::black);
    for (const LabelItem& item : label.items) {
        if (const auto* text = std::get_if<LabelText>(&item))
            drawText(painter, *text, text->content.resolve(values, title), dots);
        else if (const auto* barcode = std::get_if<LabelBarcode>(&item))
            drawBarcode(painter, *barcode, barcode->content.resolve(values, title), label,
                        barcode->content.fromRequest(values), dots);
        else if (const auto* line = std::get_if<LabelLine>(&item))
            drawLine(painter, *line, dots);
        painter.setPen(Qt::black);
    }
}
