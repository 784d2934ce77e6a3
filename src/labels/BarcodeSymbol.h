#pragma once

#include <QRectF>
#include <QSizeF>
#include <QString>
#include <memory>
#include <vector>

struct zint_symbol;

// Every zint_symbol is owned by one of these, so it is freed on every path.
struct ZintSymbolDeleter {
    void operator()(zint_symbol* symbol) const noexcept;
};
using ZintSymbolPtr = std::unique_ptr<zint_symbol, ZintSymbolDeleter>;

// A barcode encoded by zint, measured in modules (X-dimensions) so that it can be drawn with
// modules of a whole number of printer dots.
class BarcodeSymbol {
public:
    // The zint symbology number for a name such as "CODE128", "Code 128" or "BARCODE_CODE128";
    // 0 when zint knows no such name.
    static int symbologyByName(const QString& name);
    static QString symbologyName(int symbology);
    // Symbologies whose output is not made of rectangles (MaxiCode) cannot be drawn.
    static bool isDrawable(int symbology);

    // Throws RequestDataFailure when zint cannot encode the text in the symbology, Failure when
    // it rejects the symbology's options or runs out of memory.
    static BarcodeSymbol encode(int symbology, const QString& text, bool quietZones);
    // The same, for a text that is the template's own rather than a request's: zint blames the
    // text it is given, and when that text is the template's, so is the fault (Failure). named is
    // how the fault names the text (LabelContent::named); empty: the text in quotes.
    static BarcodeSymbol encode(int symbology, const QString& text, bool quietZones,
                                bool textFromRequest, const QString& named = QString());

    // Size of the whole symbol, quiet zones included, in modules.
    QSizeF size() const { return m_size; }
    // The dark modules, in modules from the symbol's top left corner.
    const std::vector<QRectF>& bars() const { return m_bars; }
    // The text zint gives for the human-readable line (check digits included where shown).
    const QString& humanReadable() const { return m_humanReadable; }
    // Square modules (2D matrix codes) rather than bars that stretch to any height.
    bool fixedRatio() const { return m_fixedRatio; }

    // The widest module of whole device dots with which the symbol fits a box of widthDots, with
    // barsHeightDots left for the bars under a human-readable line of textHeightDots; never
    // thinner than one dot of the printer (printerDpi), which is all a scanner can rely on. Throws
    // when no such module fits, naming the barcode (named: its text in quotes, or its field, as
    // LabelContent::named gives it), its box (in mm) and what it needs:
    // RequestDataFailure when the value is the request's and some bars fit under the line, else
    // Failure (the template's box is wrong).
    int fitModule(int widthDots, int barsHeightDots, int textHeightDots, double dotsPerMmX,
                  double dotsPerMmY, int printerDpi, const QString& named, const QSizeF& boxMm,
                  bool fromRequest) const;

private:
    static BarcodeSymbol encodeNamed(int symbology, const QString& text, bool quietZones,
                                     const QString& named);

    QSizeF m_size;
    std::vector<QRectF> m_bars;
    QString m_humanReadable;
    bool m_fixedRatio = false;
};
