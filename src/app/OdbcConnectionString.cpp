#include "app/OdbcConnectionString.h"

namespace OdbcConnectionString {

QString escapeValue(const QString& value) {
    const bool plain = !value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('{')) &&
                       !value.contains(QLatin1Char('}')) && !value.contains(QLatin1Char('=')) &&
                       value.trimmed() == value;
    if (plain)
        return value;
    QString doubled = value;
    doubled.replace(QLatin1Char('}'), QStringLiteral("}}"));
    return QLatin1Char('{') % doubled % QLatin1Char('}');
}

QStringList preferredDrivers() {
    return {QStringLiteral("ODBC Driver 18 for SQL Server"),
            QStringLiteral("ODBC Driver 17 for SQL Server"), QStringLiteral("FreeTDS"),
            QStringLiteral("SQL Server")};
}

QString chooseDriver(const QStringList& installedDrivers) {
    for (const QString& wanted : preferredDrivers()) {
        for (const QString& installed : installedDrivers) {
            if (installed.compare(wanted, Qt::CaseInsensitive) == 0)
                return installed;
        }
    }
    return {};
}

QString build(const ConnectionSettings& settings, const QString& driver) {
    QString text = QStringLiteral("DRIVER={") % driver % QStringLiteral("};Server=") %
                   escapeValue(settings.server) % QStringLiteral(";UID=") %
                   escapeValue(settings.user) % QStringLiteral(";Database=") %
                   escapeValue(settings.database) % QStringLiteral(";PWD=") %
                   escapeValue(settings.password);
    if (driver.compare(QLatin1String("FreeTDS"), Qt::CaseInsensitive) == 0)
        text += QStringLiteral(";TDS_Version=7.4");
    else if (driver.startsWith(QLatin1String("ODBC Driver 18"), Qt::CaseInsensitive))
        text += QStringLiteral(";TrustServerCertificate=") +
                escapeValue(settings.trustServerCertificate);
    return text;
}

} // namespace OdbcConnectionString
