#include "labels/BarcodeSymbol.h"

#include "app/Failure.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <zint.h>

namespace {
constexpr double mmPerInch = 25.4;
}

int BarcodeSymbol::fitModule(int widthDots, int barsHeightDots, int textHeightDots,
                             double dotsPerMmX, double dotsPerMmY, int printerDpi,
                             const QString& named, const QSizeF& boxMm, bool fromRequest) const {
    // A PDF page or a spooler's page may have finer dots than the printer: a module of one of
    // them would print thinner than the printer can, and not scan.
    const int smallest =
        std::max(1, static_cast<int>(std::ceil(dotsPerMmX * mmPerInch / printerDpi - 1e-6)));
    int module = static_cast<int>(std::floor(widthDots / m_size.width()));
    if (m_fixedRatio)
        module = std::min(module, static_cast<int>(std::floor(barsHeightDots / m_size.height())));
    if (module >= smallest && barsHeightDots >= 1)
        return module;
    const double needWidth = m_size.width() * smallest / dotsPerMmX;
    const double needHeight =
        ((m_fixedRatio ? m_size.height() * smallest : 1.0) + textHeightDots) / dotsPerMmY;
    const auto mm = [](double v, int decimals) { return QString::number(v, 'f', decimals); };
    const QString description =
        QStringLiteral("The barcode %1 does not fit its %2 x %3 mm box on the label: with "
                       "its thinnest bar one dot of a %4 dpi printer (%5 mm) it needs %6 x %7 mm.")
            .arg(named, mm(boxMm.width(), 1), mm(boxMm.height(), 1), QString::number(printerDpi),
                 mm(mmPerInch / printerDpi, 3), mm(needWidth, 1), mm(needHeight, 1));
    // No bars at all fit under the human-readable line whatever the text: the box is wrong.
    if (fromRequest && barsHeightDots >= 1)
        throw RequestDataFailure(description);
    throw Failure(description);
}

void ZintSymbolDeleter::operator()(zint_symbol* symbol) const noexcept {
    ZBarcode_Delete(symbol);
}

namespace {

// "Code 128", "code_128" and "BARCODE_CODE128" all become "CODE128".
QString normalisedName(const QString& name) {
    QString upper = name.toUpper();
    upper.remove(QRegularExpression(QStringLiteral("[^A-Z0-9]")));
    if (upper.startsWith(QLatin1String("BARCODE")) && upper.size() > 7)
        upper.remove(0, 7);
    return upper;
}

const QHash<QString, int>& symbologiesByName() {
    static const QHash<QString, int> table = [] {
        QHash<QString, int> names;
        for (int id = 1; id < 256; ++id) {
            if (!ZBarcode_ValidID(id))
                continue;
            char name[32] = {};
            if (ZBarcode_BarcodeName(id, name) != 0)
                continue;
            names.insert(normalisedName(QString::fromLatin1(name)), id);
        }
        return names;
    }();
    return table;
}

} // namespace

int BarcodeSymbol::symbologyByName(const QString& name) {
    return symbologiesByName().value(normalisedName(name), 0);
}

QString BarcodeSymbol::symbologyName(int symbology) {
    char name[32] = {};
    if (ZBarcode_BarcodeName(symbology, name) != 0)
        return QString::number(symbology);
    QString text = QString::fromLatin1(name);
    if (text.startsWith(QLatin1String("BARCODE_")))
        text.remove(0, 8);
    return text;
}

bool BarcodeSymbol::isDrawable(int symbology) {
    return symbology != BARCODE_MAXICODE;
}

BarcodeSymbol BarcodeSymbol::encode(int symbology, const QString& text, bool quietZones,
                                    bool textFromRequest, const QString& named) {
    try {
        return encodeNamed(symbology, text, quietZones, named);
    } catch (const RequestDataFailure& failure) {
        if (textFromRequest)
            throw;
        throw Failure(failure.description());
    }
}

BarcodeSymbol BarcodeSymbol::encode(int symbology, const QString& text, bool quietZones) {
    return encodeNamed(symbology, text, quietZones, QString());
}

BarcodeSymbol BarcodeSymbol::encodeNamed(int symbology, const QString& text, bool quietZones,
                                         const QString& named) {
    const ZintSymbolPtr symbol(ZBarcode_Create());
    if (!symbol)
        throw Failure(QStringLiteral("The barcode library is out of memory."));
    symbol->symbology = symbology;
    symbol->input_mode = UNICODE_MODE;
    symbol->show_hrt = 0; // symbol->text is still filled; the renderer draws the line itself
    symbol->scale = 0.5f; // one vector unit per module
    symbol->output_options |= quietZones ? BARCODE_QUIET_ZONES : BARCODE_NO_QUIET_ZONES;

    const QByteArray data = text.toUtf8();
    int status =
        ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(data.constData()),
                        static_cast<int>(data.size()));
    if (status < ZINT_ERROR)
        status = ZBarcode_Buffer_Vector(symbol.get(), 0);
    if (status == ZINT_ERROR_MEMORY)
        throw Failure(QStringLiteral("The barcode library is out of memory."));
    if (status >= ZINT_ERROR || !symbol->vector) {
        QString reason = QString::fromUtf8(symbol->errtxt);
        reason.remove(QRegularExpression(QStringLiteral("^(Error|Warning) \\d+: ")));
        const QString description =
            QStringLiteral("The barcode text %1 cannot be printed as %2: %3.")
                .arg(named.isEmpty() ? QStringLiteral("\"%1\"").arg(text) : named,
                     symbologyName(symbology), reason);
        // zint's verdict on the text is the same on every try, so it belongs to that text;
        // a rejected option or a missing drawing is this station's own fault.
        const bool stationFault = status == ZINT_ERROR_INVALID_OPTION ||
                                  status == ZINT_ERROR_FILE_ACCESS ||
                                  status == ZINT_ERROR_FILE_WRITE || status < ZINT_ERROR;
        if (stationFault)
            throw Failure(description);
        throw RequestDataFailure(description);
    }

    BarcodeSymbol result;
    result.m_size = QSizeF(symbol->vector->width, symbol->vector->height);
    for (const zint_vector_rect* rect = symbol->vector->rectangles; rect; rect = rect->next) {
        if (rect->colour != -1 && rect->colour != 7) // foreground or black only
            continue;
        result.m_bars.emplace_back(rect->x, rect->y, rect->width, rect->height);
    }
    result.m_humanReadable = QString::fromUtf8(reinterpret_cast<const char*>(symbol->text));
    result.m_fixedRatio = ZBarcode_Cap(symbology, ZINT_CAP_FIXED_RATIO) != 0;
    return result;
}
