#pragma once

#include "app/ConnectionSettings.h"

#include <QString>
#include <QStringList>

namespace OdbcConnectionString {

// Quotes one attribute value so that ";", "{", "}" or "=" inside it cannot split the string:
// such a value goes between braces with every "}" doubled; a plain value stays as it is.
QString escapeValue(const QString& value);

// The SQL Server ODBC drivers the station can use, best first.
QStringList preferredDrivers();
// The best of the installed drivers, or the empty text when none of them is installed.
QString chooseDriver(const QStringList& installedDrivers);

// DRIVER={...};Server=...;UID=...;Database=...;PWD=..., in that order, every value escaped.
// FreeTDS gets an explicit TDS version, without which it ignores the login time-out.
QString build(const ConnectionSettings& settings, const QString& driver);

} // namespace OdbcConnectionString
