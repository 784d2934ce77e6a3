#pragma once

#include <QSqlError>
#include <QString>

namespace DatabaseErrorText {

// What a database error says, as the station's messages quote it: the server's own text with
// the driver layers' "[unixODBC][FreeTDS][SQL Server]" prefixes taken off, the driver's own text
// only when the server said nothing; a lock held by another program in the station's words,
// whichever road reported it. Empty when the error says nothing at all.
QString describe(const QSqlError& error);
// Whether the server refused the login (a wrong user or password: SQL Server's error 18456, ODBC's
// state 28000), as opposed to a server that could not be reached.
bool isLoginRefused(const QSqlError& error);

} // namespace DatabaseErrorText
