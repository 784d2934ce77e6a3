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
    const QString trust = value("TrustServerCertificate");
    if (!trust.isEmpty())
        settings.trustServerCertificate = trust;
    return settings;
}

QString connectionSettingsLocation() {
    return SettingsStore::location(application, section);
}

QString connectionSettingsFile() {
    return SettingsStore::filePath(application);
}

QStringList connectionSettingsProblems() {
    QStringList problems = SettingsStore::problems(application);
    if (!SettingsStore::hasSection(application, section))
        problems.prepend(QStringLiteral("No connection settings: nothing in ") +
                         connectionSettingsLocation() + QLatin1Char('.'));
    return problems;
}
