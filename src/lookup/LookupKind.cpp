#include "lookup/LookupKind.h"

#include <QRegularExpression>

bool isNumericText(const QString& text) {
    static const QRegularExpression numeric(
        QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?\\s*$"));
    return numeric.match(text).hasMatch();
}

int lookupKind(const QString& number) {
    const bool chargeSlip = number.size() >= 2 && number.startsWith(QLatin1Char('T')) &&
                            number.endsWith(QLatin1Char('C'));
    const bool specimen = number.endsWith(QLatin1Char('B'));
    return chargeSlip || specimen || isNumericText(number) ? 3 : 2;
}

QString checklistEntry(const QString& barcode, const QString& instrument) {
    return barcode % QStringLiteral(" [") % instrument % QStringLiteral("] ");
}
