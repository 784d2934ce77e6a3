#pragma once

#include <QDateTime>
#include <QString>

// The station's one date-time text form: "yyyy-MM-dd HH:mm:ss", local time. It is what the grid's
// TransDate column, CurrentRequest.TransDate and the print log carry, and it reads back as a date
// on every workstation whatever its regional settings.
namespace DateTimeText {

QString format(const QDateTime& value);
// Accepts the station's form and, for robustness, ISO 8601 with a "T" or fractional seconds.
// Returns an invalid QDateTime when the text is not a date.
QDateTime parse(const QString& text);
QString now();

} // namespace DateTimeText
