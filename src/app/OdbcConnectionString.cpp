#include "app/OdbcConnectionString.h"

#include "app/Failure.h"

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

bool isFreeTds(const QString& driver) {
    return driver.compare(QLatin1String("FreeTDS"), Qt::CaseInsensitive) == 0;
}

namespace {

// What the Microsoft drivers are told. Without the keys, what the station always sent: Driver 18
// encrypts by default and was told to believe any certificate unless the store said otherwise.
QString microsoftSecurity(const ConnectionSettings& settings, const QString& driver) {
    const QString trust =
        QStringLiteral(";TrustServerCertificate=") +
        (settings.certificateTrusted() ? QStringLiteral("yes") : QStringLiteral("no"));
    if (settings.encryptionRequired())
        return QStringLiteral(";Encrypt=yes") + trust;
    const bool driver18 = driver.startsWith(QLatin1String("ODBC Driver 18"), Qt::CaseInsensitive);
    if (settings.encryptionRefused())
        return driver18 ? QStringLiteral(";Encrypt=no") : QString();
    if (driver18)
        return QStringLiteral(";TrustServerCertificate=") +
               (settings.trustServerCertificate.isEmpty()
                    ? QStringLiteral("yes")
                    : escapeValue(settings.trustServerCertificate));
    return QString();
}

} // namespace

QString build(const ConnectionSettings& settings, const QString& driver) {
    const QString server = needsFreeTdsEntry(settings, driver)
                               ? QStringLiteral("};Servername=") + QString(freeTdsEntryName)
                               : QStringLiteral("};Server=") + escapeValue(settings.server);
    QString text = QStringLiteral("DRIVER={") % driver % server % QStringLiteral(";UID=") %
                   escapeValue(settings.user) % QStringLiteral(";Database=") %
                   escapeValue(settings.database) % QStringLiteral(";PWD=") %
                   escapeValue(settings.password);
    if (!isFreeTds(driver))
        return text + microsoftSecurity(settings, driver);
    text += QStringLiteral(";TDS_Version=7.4");
    // Trusted: encrypted, but FreeTDS checks no certificate without a CA file.
    if (settings.encryptionRequired())
        text += QStringLiteral(";Encryption=require");
    return text;
}

bool needsFreeTdsEntry(const ConnectionSettings& settings, const QString& driver) {
    return isFreeTds(driver) && settings.encryptionRequired() && !settings.certificateTrusted();
}

ServerAddress parseServer(const QString& server) {
    ServerAddress address{server.trimmed(), {}, {}};
    const qsizetype comma = address.host.lastIndexOf(QLatin1Char(','));
    if (comma >= 0) {
        address.port = address.host.mid(comma + 1).trimmed();
        address.host.truncate(comma);
    }
    const qsizetype backslash = address.host.indexOf(QLatin1Char('\\'));
    if (backslash >= 0) {
        address.instance = address.host.mid(backslash + 1);
        address.host.truncate(backslash);
    }
    return address;
}

QString freeTdsEntry(const ConnectionSettings& settings) {
    const auto [host, port, instance] = parseServer(settings.server);
    const QString ca = settings.caFile.isEmpty() ? QStringLiteral("system") : settings.caFile;
    for (const QString& value : {host, port, instance, ca}) {
        if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
            throw Failure(QStringLiteral("The Server or CAFile value holds a line break."));
    }
    QString text = QLatin1Char('[') + QString(freeTdsEntryName) + QStringLiteral("]\n\thost = ") +
                   host + QLatin1Char('\n');
    if (!port.isEmpty())
        text += QStringLiteral("\tport = ") + port + QLatin1Char('\n');
    else if (!instance.isEmpty())
        text += QStringLiteral("\tinstance = ") + instance + QLatin1Char('\n');
    return text + QStringLiteral("\ttds version = 7.4\n\tencryption = require\n\tca file = ") + ca +
           QStringLiteral("\n\tcheck certificate hostname = yes\n");
}

} // namespace OdbcConnectionString
