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

bool isFreeTds(const QString& driver);

// A Server value: "host", "host,port", "host\\instance" or "host\\instance,port".
struct ServerAddress {
    QString host;
    QString port;
    QString instance;
};
ServerAddress parseServer(const QString& server);

// DRIVER={...};Server=...;UID=...;Database=...;PWD=..., in that order, every value escaped,
// then what the link's security keys ask of that driver. FreeTDS gets an explicit TDS version,
// without which it ignores the login time-out.
QString build(const ConnectionSettings& settings, const QString& driver);

// FreeTDS takes no CA file in a connection string and reads freetds.conf only for a named server
// entry: a verified link goes through the station's own entry, named in place of Server=.
inline constexpr QLatin1StringView freeTdsEntryName{"quillon"};
bool needsFreeTdsEntry(const ConnectionSettings& settings, const QString& driver);
// The freetds.conf text of that entry: the server's host with its port or instance, encryption
// required, the certificate checked against the CA file (or the system's store) and made out to
// that host. Throws Failure for a value that would break the file's lines.
QString freeTdsEntry(const ConnectionSettings& settings);

} // namespace OdbcConnectionString
