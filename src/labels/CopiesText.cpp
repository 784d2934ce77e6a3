#include "labels/CopiesText.h"

#include <cfenv>
#include <cmath>

std::optional<qint16> parseCopies(const QString& text, const QLocale& locale) {
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    // The default rounding mode rounds a half to the even neighbour.
    const double rounded = std::nearbyint(value);
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return static_cast<qint16>(rounded);
}
