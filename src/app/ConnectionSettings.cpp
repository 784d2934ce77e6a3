#include "app/ConnectionSettings.h"

#include "app/SettingsStore.h"

namespace {
const QString application = QStringLiteral("ORVANT Current User");
const QString section = QStringLiteral("Connection");
} // namespace

ConnectionSettings ReadConnectionSettings() {
    const auto value = [](const char* key) {
        return SettingsStore::read(application, section, QLatin1String(key), QString());
    };
    ConnectionSettings settings{value("Server"), value("Database"), value("User"),
                                value("Password")};
    settings.encrypt = value("Encrypt").trimmed();
    settings.caFile = value("CAFile").trimmed();
    settings.trustServerCertificate = value("TrustServerCertificate").trimmed();
    return settings;
}

bool ConnectionSettings::encryptionRequired() const {
    return encrypt.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
}

bool ConnectionSettings::encryptionRefused() const {
    return encrypt.compare(QLatin1String("no"), Qt::CaseInsensitive) == 0;
}

bool ConnectionSettings::certificateTrusted() const {
    return trustServerCertificate.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
}

QString ConnectionSettings::securityProblem() const {
    // A misspelt value must not quietly weaken the link: it stops the connection instead.
    const auto yesOrNo = [](const QString& value) {
        return value.isEmpty() || value.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0 ||
               value.compare(QLatin1String("no"), Qt::CaseInsensitive) == 0;
    };
    if (!yesOrNo(encrypt))
        return QStringLiteral("Encrypt=%1 is neither yes nor no.").arg(encrypt);
    if (!yesOrNo(trustServerCertificate))
        return QStringLiteral("TrustServerCertificate=%1 is neither yes nor no.")
            .arg(trustServerCertificate);
    return QString();
}

QString connectionSettingsLocation() {
    return SettingsStore::location(application, section);
}

QString connectionSettingsFile() {
    return SettingsStore::filePath(application);
}

QStringList connectionSettingsProblems() {
    QStringList problems = SettingsStore::problems(application);
    const QString security = ReadConnectionSettings().securityProblem();
    if (!security.isEmpty())
        problems.append(security);
    if (!SettingsStore::hasSection(application, section))
        problems.prepend(QStringLiteral("No connection settings: nothing in ") +
                         connectionSettingsLocation() + QLatin1Char('.'));
    return problems;
}
