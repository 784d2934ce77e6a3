#include "labels/ZplRenderer.h"

#include "app/Failure.h"
#include "labels/BarcodeSymbol.h"
#include "labels/LabelTemplate.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <zint.h>

namespace {

constexpr double mmPerInch = 25.4;
constexpr double pointsPerInch = 72;
constexpr double smallestShrink = 0.6; // as on the other printers
constexpr double lineSpacing = 1.15;   // a text line's height over its font height
constexpr int smallestFont = 10;       // dots: font 0 prints no smaller

// Advance widths of font 0's printable ASCII characters, in thousandths of the font height.
constexpr int asciiAdvance[95] = {
    250, 323, 332, 497, 497, 830, 661, 244, 328, 328, 492, 498, 323, 333, 323, 280, // ' ' to /
    495, 490, 496, 496, 498, 496, 496, 496, 496, 496, 271, 271, 496, 498, 496, 494, // 0 to ?
    829, 555, 550, 551, 604, 495, 495, 605, 604, 271, 440, 552, 495, 771, 604, 605, // @ to O
    551, 606, 605, 551, 498, 604, 554, 831, 555, 555, 497, 326, 493, 326, 499, 500, // P to _
    328, 495, 494, 440, 494, 494, 276, 494, 494, 271, 273, 441, 271, 771, 494, 495, // ` to o
    494, 494, 330, 440, 276, 494, 443, 666, 443, 442, 387, 274, 243, 274, 497};     // p to ~
constexpr int otherAdvance = 700; // a character the table lacks: wider than most

int advance(QChar c) {
    const char16_t u = c.unicode();
    if (u >= 0x20 && u <= 0x7e)
        return asciiAdvance[u - 0x20];
    // An accented Latin letter is as wide as its base letter.
    const QString base = c.decomposition();
    if (!base.isEmpty() && base.at(0).unicode() >= 0x20 && base.at(0).unicode() <= 0x7e)
        return asciiAdvance[base.at(0).unicode() - 0x20];
    return otherAdvance;
}

struct Dots {
    double perMm;
    int at(double mm) const { return int(std::lround(mm * perMm)); }
    // The box on whole dots, inside the template's box.
    struct Box {
        int left, top, width, height;
    };
    Box inside(const QRectF& mm) const {
        const int left = int(std::ceil(mm.left() * perMm - 1e-6));
        const int top = int(std::ceil(mm.top() * perMm - 1e-6));
        return {left, top, int(std::floor(mm.right() * perMm + 1e-6)) - left,
                int(std::floor(mm.bottom() * perMm + 1e-6)) - top};
    }
};

int fontDots(double points, int dpi) {
    return std::max(smallestFont, int(std::lround(points * dpi / pointsPerInch)));
}

// "character 3 (U+00E9)": a fault names the character by its place and code, never the text
// around it, which may be a patient's.
QString character(const QString& text, qsizetype at) {
    const qsizetype place = QStringView(text).left(at).toUcs4().size() + 1;
    const char32_t code = QStringView(text).mid(at, 2).toUcs4().value(0);
    return QStringLiteral("character %1 (U+%2)")
        .arg(place)
        .arg(QString::number(uint(code), 16).toUpper().rightJustified(4, QLatin1Char('0')));
}

// Characters the resident font 0 prints under UTF-8 (^CI28): Latin-1.
bool residentFontHas(QChar c) {
    return c.unicode() <= 0xff;
}

// Line breaks, NUL and other control characters print as blanks: a label line is one line.
QString printable(QString text) {
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0))
            c = QLatin1Char(' ');
    }
    return text;
}

class Writer {
public:
    Writer(const LabelTemplate& label, const QStringList& values, const QString& title)
        : m_label(label)
        , m_values(values)
        , m_title(title)
        , m_dots{label.dpi / mmPerInch} {}

    QByteArray write() {
        m_out.reserve(512);
        m_out += "^XA\n^CI28^PW" + QByteArray::number(m_dots.at(m_label.size.width())) + "^LL" +
                 QByteArray::number(m_dots.at(m_label.size.height())) + "^LH0,0^PON";
        if (m_label.darkness)
            m_out += "~SD" + QByteArray::number(*m_label.darkness).rightJustified(2, '0');
        if (m_label.speed)
            m_out += "^PR" + QByteArray::number(*m_label.speed);
        m_out += '\n';
        for (const LabelItem& item : m_label.items) {
            if (const auto* text = std::get_if<LabelText>(&item))
                writeText(*text);
            else if (const auto* barcode = std::get_if<LabelBarcode>(&item))
                writeBarcode(*barcode);
            else if (const auto* line = std::get_if<LabelLine>(&item))
                writeLine(*line);
        }
        m_out += "^XZ\n";
        return m_out;
    }

private:
    // The text checked against the printer's font: the value's fault is the request's.
    QString checkedText(const QString& text, const LabelContent& content) const {
        QString result = printable(text);
        if (!m_label.printerFont.isEmpty())
            return result;
        for (qsizetype i = 0; i < result.size(); ++i) {
            if (residentFontHas(result.at(i)))
                continue;
            const QString description =
                QStringLiteral("The text %1 cannot be printed on the ZPL label printer: its %2 "
                               "is not in the printer's font. The template's \"printerFont\" can "
                               "name a font stored on the printer that has it.")
                    .arg(content.named(text, m_label.fields), character(result, i));
            if (content.fromRequest(m_values))
                throw RequestDataFailure(description);
            throw Failure(description);
        }
        return result;
    }

    QByteArray font(int h) const {
        const QByteArray size = QByteArray::number(h);
        if (m_label.printerFont.isEmpty())
            return "^A0N," + size + ',' + size;
        return "^A@N," + size + ',' + size + ',' + m_label.printerFont.toLatin1();
    }

    // One line of text in its box: shrunk when too large, then cut with an ellipsis if still
    // too wide, as on the other printers; centred down the box.
    void writeLine(QString text, int h, const Dots::Box& box, LabelAlign align) {
        if (text.isEmpty() || box.width < 1 || box.height < 1)
            return;
        int width = ZplRenderer::textWidth(text, h);
        if (width > box.width || h * lineSpacing > box.height) {
            const double shrink =
                std::max(smallestShrink, std::min(double(box.width) / std::max(width, 1),
                                                  box.height / (h * lineSpacing)));
            h = std::max(
                {smallestFont, int(std::ceil(h * smallestShrink)), int(std::floor(h * shrink))});
            width = ZplRenderer::textWidth(text, h);
            if (width > box.width) {
                const QString ellipsis = QStringLiteral("...");
                while (!text.isEmpty() && ZplRenderer::textWidth(text + ellipsis, h) > box.width)
                    text.chop(1);
                text = text.trimmed().isEmpty() ? QString() : text + ellipsis;
                if (text.isEmpty())
                    return;
                width = ZplRenderer::textWidth(text, h);
            }
        }
        const int y = box.top + std::max(0, (box.height - h) / 2);
        QByteArray origin;
        if (align == LabelAlign::Right) // the printer ends the text at x itself
            origin = QByteArray::number(box.left + box.width) + ',' + QByteArray::number(y) + ",1";
        else
            origin =
                QByteArray::number(align == LabelAlign::Center ? box.left + (box.width - width) / 2
                                                               : box.left) +
                ',' + QByteArray::number(y);
        m_out +=
            "^FO" + origin + font(h) + "^FH^FD" + ZplRenderer::escapedFieldData(text) + "^FS\n";
    }

    void writeText(const LabelText& item) {
        const QString value = item.content.resolve(m_values, m_title);
        const QString text =
            checkedText(item.prefix, LabelContent{}) + checkedText(value, item.content);
        writeLine(text, fontDots(item.font.size, m_label.dpi), m_dots.inside(item.box), item.align);
    }

    void writeBarcode(const LabelBarcode& item) {
        const QString value = item.content.resolve(m_values, m_title);
        const bool fromRequest = item.content.fromRequest(m_values);
        const QString named = item.content.named(value, m_label.fields);
        const BarcodeSymbol symbol =
            BarcodeSymbol::encode(item.symbology, value, item.quietZones, fromRequest, named);
        const bool native = item.symbology == BARCODE_CODE128;
        if (native) {
            // The printer encodes Code 128 itself, from printable ASCII.
            for (qsizetype i = 0; i < value.size(); ++i) {
                if (value.at(i).unicode() >= 0x20 && value.at(i).unicode() <= 0x7e)
                    continue;
                const QString description =
                    QStringLiteral("The barcode text %1 cannot be printed as CODE128 on a ZPL "
                                   "label printer: its %2 is not printable ASCII, and only "
                                   "printable ASCII characters can be.")
                        .arg(named, character(value, i));
                if (fromRequest)
                    throw RequestDataFailure(description);
                throw Failure(description);
            }
        }
        const QSizeF modules = symbol.size();
        const Dots::Box box = m_dots.inside(item.box);
        const bool withText = item.humanReadable && !symbol.humanReadable().isEmpty();
        const int textFont = fontDots(item.font.size, m_label.dpi);
        const int textHeight = withText ? int(std::ceil(textFont * lineSpacing)) : 0;
        const int barsHeight = box.height - textHeight;

        const int module =
            symbol.fitModule(box.width, barsHeight, textHeight, m_dots.perMm, m_dots.perMm,
                             m_label.dpi, named, item.box.size(), fromRequest);
        const int symbolWidth = module * int(std::lround(modules.width()));
        int x0 = box.left;
        if (item.align == LabelAlign::Center)
            x0 += (box.width - symbolWidth) / 2;
        else if (item.align == LabelAlign::Right)
            x0 += box.width - symbolWidth;
        const double yScale = symbol.fixedRatio() ? module : barsHeight / modules.height();
        const int symbolHeight = int(std::lround(modules.height() * yScale));

        if (native) {
            double quiet = modules.width();
            for (const QRectF& bar : symbol.bars())
                quiet = std::min(quiet, bar.x());
            // Automatic mode: the printer picks the code sets, as tightly as the encoder that
            // measured the symbol.
            m_out += "^FO" + QByteArray::number(x0 + int(std::lround(quiet)) * module) + ',' +
                     QByteArray::number(box.top) + "^BY" + QByteArray::number(module) + "^BCN," +
                     QByteArray::number(symbolHeight) + ",N,N,N,A^FH^FD" +
                     ZplRenderer::escapedFieldData(value) + "^FS\n";
        } else {
            for (const QRectF& bar : symbol.bars()) {
                const long x = x0 + std::lround(bar.x()) * module;
                const long w = std::lround(bar.width()) * module;
                const long y = box.top + std::lround(bar.y() * yScale);
                const long h = box.top + std::lround(bar.bottom() * yScale) - y;
                if (w < 1 || h < 1)
                    continue;
                m_out += "^FO" + QByteArray::number(x) + ',' + QByteArray::number(y) + "^GB" +
                         QByteArray::number(w) + ',' + QByteArray::number(h) + ',' +
                         QByteArray::number(std::min(w, h)) + "^FS\n";
            }
        }
        if (withText) {
            // The line centres under the symbol and may use the box's whole width.
            const int centre = x0 + symbolWidth / 2;
            const int half = std::min(centre - box.left, box.left + box.width - centre);
            writeLine(checkedText(symbol.humanReadable(), item.content), textFont,
                      {centre - half, box.top + symbolHeight, 2 * half, textHeight},
                      LabelAlign::Center);
        }
    }

    void writeLine(const LabelLine& line) {
        const int t = std::max(1, int(std::lround(line.thickness * m_dots.perMm)));
        const int x1 = m_dots.at(line.from.x()), y1 = m_dots.at(line.from.y());
        const int x2 = m_dots.at(line.to.x()), y2 = m_dots.at(line.to.y());
        const int left = std::min(x1, x2), top = std::min(y1, y2);
        const int w = std::abs(x2 - x1), h = std::abs(y2 - y1);
        const auto n = [](int v) { return QByteArray::number(std::max(0, v)); };
        if (h == 0) // across: the line's thickness centres on it
            m_out += "^FO" + n(left) + ',' + n(top - t / 2) + "^GB" + n(std::max(w, t)) + ',' +
                     n(t) + ',' + n(t) + "^FS\n";
        else if (w == 0)
            m_out += "^FO" + n(left - t / 2) + ',' + n(top) + "^GB" + n(t) + ',' +
                     n(std::max(h, t)) + ',' + n(t) + "^FS\n";
        else // "L" leans like \, from the top left down to the bottom right
            m_out += "^FO" + n(left) + ',' + n(top) + "^GD" + n(std::max(w, t)) + ',' +
                     n(std::max(h, t)) + ',' + n(t) + ",B," +
                     (((x2 > x1) == (y2 > y1)) ? "L" : "R") + "^FS\n";
    }

    const LabelTemplate& m_label;
    const QStringList& m_values;
    const QString& m_title;
    Dots m_dots;
    QByteArray m_out;
};

bool plainByte(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    static constexpr char harmless[] = " .,-/:()#+*=%&'@!?";
    return c != '\0' && std::strchr(harmless, c) != nullptr;
}

} // namespace

QByteArray ZplRenderer::render(const LabelTemplate& label, const QStringList& values,
                               const QString& title) {
    return Writer(label, values, title).write();
}

QByteArray ZplRenderer::escapedFieldData(const QString& text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() * 2);
    for (const char c : utf8) {
        if (plainByte(c)) {
            out += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        out += '_';
        out += hex[byte >> 4];
        out += hex[byte & 0xf];
    }
    return out;
}

int ZplRenderer::textWidth(const QString& text, int h) {
    long thousandths = 0;
    for (QChar c : text)
        thousandths += advance(c);
    // A little wider than measured, so that a text that fits here fits on the printer.
    return int(std::ceil(double(thousandths) * h * 1.04 / 1000));
}
