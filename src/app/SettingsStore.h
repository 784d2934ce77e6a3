#pragma once

#include <QSettings>
#include <QString>
#include <memory>

// The per-user settings store, addressed by application and section.
// Windows: the registry key under which the classic per-user settings API keeps its values, so
// values other programs stored there are read as they are. Elsewhere: one INI file per
// application in the user's configuration folder ($XDG_CONFIG_HOME/quillon/<application>.ini),
// one group per section.
namespace SettingsStore {

std::unique_ptr<QSettings> open(const QString& application, const QString& section);
QString read(const QString& application, const QString& section, const QString& key,
             const QString& defaultValue);
void write(const QString& application, const QString& section, const QString& key,
           const QString& value);

} // namespace SettingsStore
