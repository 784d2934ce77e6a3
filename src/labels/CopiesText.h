#pragma once

#include <QLocale>
#include <QString>
#include <optional>

// The number-of-copies box's text as a whole number of copies: the locale's number conversion,
// a fraction rounded to the nearest whole number (a half to the even neighbour), within
// -32768..32767. Empty, not a number, or out of range: no value.
std::optional<qint16> parseCopies(const QString& text, const QLocale& locale = QLocale());
