#include "app/SettingsStore.h"

#include <QStandardPaths>

namespace SettingsStore {

std::unique_ptr<QSettings> open(const QString& application, const QString& section) {
#ifdef Q_OS_WIN
    auto settings = std::make_unique<QSettings>(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\") % application %
            QLatin1Char('\\') % section,
        QSettings::NativeFormat);
#else
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    auto settings = std::make_unique<QSettings>(folder % QStringLiteral("/quillon/") % application %
                                                    QStringLiteral(".ini"),
                                                QSettings::IniFormat);
    settings->beginGroup(section);
#endif
    return settings;
}

QString read(const QString& application, const QString& section, const QString& key,
             const QString& defaultValue) {
    const auto settings = open(application, section);
    return settings->value(key, defaultValue).toString();
}

void write(const QString& application, const QString& section, const QString& key,
           const QString& value) {
    const auto settings = open(application, section);
    settings->setValue(key, value);
    settings->sync();
}

} // namespace SettingsStore
