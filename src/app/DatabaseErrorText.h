#pragma once

#include <QSqlError>
#include <QString>

namespace DatabaseErrorText {

// What a database error says, as the station's messages quote it: the server's own text with
// the driver layers' "[unixODBC][FreeTDS][SQL Server]" prefixes taken off, the driver's own text
// only when the server said nothing; a lock held by another program in the station's words,
// whichever road reported it. Empty when the error says nothing at all.
QString describe(const QSqlError& error);

} // namespace DatabaseErrorText
