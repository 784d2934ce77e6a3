#include "app/ConnectionSettings.h"

#include "app/IniFile.h"
#include "app/SettingsStore.h"

#include <QFile>
#include <QFileInfo>

namespace {
const QString application = QStringLiteral("ORVANT Current User");
const QString section = QStringLiteral("Connection");

QString sectionOf(const QString& file) {
    return QStringLiteral("the section [%1] of %2").arg(section, file);
}

IniFile readIni(const QString& path) {
    QFile file(path);
    return IniFile::parse(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
}
} // namespace

ConnectionSource connectionSettingsSource(const QString& machineFile) {
    if (!SettingsStore::hasSection(application, section) && QFile::exists(machineFile))
        return {machineFile, sectionOf(machineFile), true};
    return {SettingsStore::filePath(application), SettingsStore::location(application, section),
            false};
}

ConnectionSettings ReadConnectionSettings(const QString& machineFile) {
    const ConnectionSource source = connectionSettingsSource(machineFile);
    const IniFile machine = source.machineWide ? readIni(source.file) : IniFile();
    const auto value = [&](const char* key) {
        return source.machineWide
                   ? machine.value(section, QLatin1String(key))
                   : SettingsStore::read(application, section, QLatin1String(key), QString());
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
    return connectionSettingsSource().location;
}

QStringList connectionSettingsProblems(const QString& machineFile) {
    const ConnectionSource source = connectionSettingsSource(machineFile);
    QStringList problems;
    if (source.machineWide) {
        if (!QFileInfo(source.file).isReadable())
            return {source.file + QStringLiteral(" cannot be read by this account.")};
        const IniFile machine = readIni(source.file);
        for (const QString& problem : machine.problems())
            problems.append(source.file + QStringLiteral(", ") + problem);
        if (!machine.hasSection(section))
            problems.prepend(QStringLiteral("No connection settings: nothing in ") +
                             source.location + QLatin1Char('.'));
    } else {
        problems = SettingsStore::problems(application);
        if (!SettingsStore::hasSection(application, section))
            problems.prepend(QStringLiteral("No connection settings: nothing in %1 nor in %2.")
                                 .arg(source.location, sectionOf(machineFile)));
    }
    // Either file: a misspelt security value stops the connection, so the check names it.
    const QString security = ReadConnectionSettings(machineFile).securityProblem();
    if (!security.isEmpty())
        problems.append(security);
    return problems;
}
