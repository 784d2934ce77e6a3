#include "app/SettingsStore.h"

#include "app/Failure.h"
#include "app/IniFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace SettingsStore {

QString filePath(const QString& application) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) %
           QStringLiteral("/quillon/") % application % QStringLiteral(".ini");
}

namespace {

QByteArray readFile(const QString& application) {
    QFile file(filePath(application));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

QString location(const QString& application, const QString& section) {
    return QStringLiteral("the section [%1] of %2").arg(section, filePath(application));
}

bool hasSection(const QString& application, const QString& section) {
    return IniFile::parse(readFile(application)).hasSection(section);
}

QString read(const QString& application, const QString& section, const QString& key,
             const QString& defaultValue) {
    const QString value = IniFile::parse(readFile(application)).value(section, key);
    return value.isNull() ? defaultValue : value;
}

QStringList problems(const QString& application) {
    QStringList found;
    const IniFile file = IniFile::parse(readFile(application));
    for (const QString& problem : file.problems())
        found.append(filePath(application) + QStringLiteral(", ") + problem);
    return found;
}

void write(const QString& application, const QString& section, const QString& key,
           const QString& value) {
    const QString path = filePath(application);
    const QByteArray bytes = IniFile::withValue(readFile(application), section, key, value);
    QSaveFile file(path);
    if (bytes.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath()) ||
        !file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(bytes) != bytes.size() || !file.commit())
        throw Failure(QStringLiteral("The setting %1 cannot be stored in %2.")
                          .arg(key, location(application, section)));
}

} // namespace SettingsStore
