#pragma once

#include <QString>

// The second value of the request procedure: 3 for a charge-slip style number ("T*C", "*B", or
// numeric), 2 for anything else. Letters compare exactly; the text is taken as the box holds it.
int lookupKind(const QString& number);

// Numeric as the station counts it: an optional sign, decimal digits with at most one decimal
// point, an optional exponent, blanks allowed around it.
bool isNumericText(const QString& text);

// The checklist entry of one label row: barcode, " [", instrument, "] ".
QString checklistEntry(const QString& barcode, const QString& instrument);
