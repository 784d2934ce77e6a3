#include "app/DatabaseErrorText.h"

#include <QRegularExpression>

namespace DatabaseErrorText {

QString describe(const QSqlError& error) {
    // Each ODBC layer names itself in brackets before the message it passes on; a bracketed
    // name inside the server's text ("[dbo].[tbLabMaster]") stays.
    static const QRegularExpression layers(
        QStringLiteral("^\\s*(\\[[^\\]]*\\])+|(\\[[^\\]]*\\]){2,}"));
    QString text = error.databaseText();
    text.remove(layers);
    text = text.simplified();
    if (text.isEmpty())
        text = error.driverText().simplified();
    // SQLite's busy time-out and SQL Server's lock time-out (error 1222) are the same event for
    // the lab: another program holds the rows or the file.
    if (text.contains(QLatin1String("database is locked")) ||
        text.contains(QLatin1String("Lock request time out period exceeded")))
        return QStringLiteral("another program holds the lab database locked (%1)").arg(text);
    return text;
}

bool isLoginRefused(const QSqlError& error) {
    const QString codes = error.nativeErrorCode();
    return codes.contains(QLatin1String("18456")) || codes.contains(QLatin1String("28000")) ||
           error.databaseText().contains(QLatin1String("Login failed for user"));
}

} // namespace DatabaseErrorText
