#pragma once

#include <QString>

// Blank as the station's routines test it: nothing but spaces (a tab or another white space
// counts as text, as it does for the database).
inline bool isBlank(const QString& text) {
    for (const QChar c : text) {
        if (c != QLatin1Char(' '))
            return false;
    }
    return true;
}
