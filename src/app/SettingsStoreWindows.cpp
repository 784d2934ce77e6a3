#include "app/SettingsStore.h"

#include "app/Failure.h"

#include <QSettings>

namespace SettingsStore {

namespace {
QString keyPath(const QString& application, const QString& section) {
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\") %
           application % QLatin1Char('\\') % section;
}
} // namespace

QString filePath(const QString&) {
    return QString();
}

QString location(const QString& application, const QString& section) {
    return QStringLiteral("the registry key ") + keyPath(application, section);
}

bool hasSection(const QString& application, const QString& section) {
    return !QSettings(keyPath(application, section), QSettings::NativeFormat).allKeys().isEmpty();
}

QString read(const QString& application, const QString& section, const QString& key,
             const QString& defaultValue) {
    return QSettings(keyPath(application, section), QSettings::NativeFormat)
        .value(key, defaultValue)
        .toString();
}

QStringList problems(const QString&) {
    return {};
}

void write(const QString& application, const QString& section, const QString& key,
           const QString& value) {
    QSettings settings(keyPath(application, section), QSettings::NativeFormat);
    settings.setValue(key, value);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw Failure(QStringLiteral("The setting %1 cannot be stored in %2.")
                          .arg(key, location(application, section)));
}

} // namespace SettingsStore
