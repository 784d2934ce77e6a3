#pragma once

#include <QString>
#include <QStringList>

// The per-user settings store, addressed by application, section and key.
// Windows: the registry key under which the classic per-user settings API keeps its values, so
// values other programs stored there are read as they are. Elsewhere: one INI file per
// application in the user's configuration folder ($XDG_CONFIG_HOME/quillon/<application>.ini),
// one "[Section]" per section, read literally (IniFile): what a person writes there is what the
// station reads.
namespace SettingsStore {

// Where the values of a section live, for messages: the registry key, or the file and section.
QString location(const QString& application, const QString& section);
// The application's INI file; empty on Windows, where the values live in the registry.
QString filePath(const QString& application);
// Whether the store has the section at all (the file exists and holds it, or the key exists).
bool hasSection(const QString& application, const QString& section);
QString read(const QString& application, const QString& section, const QString& key,
             const QString& defaultValue);
// Lines of the application's file that cannot be read as settings, each with its place.
QStringList problems(const QString& application);
// Sets one value; other values and lines stay as they are. Throws Failure when it cannot.
void write(const QString& application, const QString& section, const QString& key,
           const QString& value);

// One of the station's own settings (application "Wrenfold", section "LabBarcodes"), blanks
// trimmed; "" when it is not set.
inline QString readStationSetting(const char* key) {
    return read(QStringLiteral("Wrenfold"), QStringLiteral("LabBarcodes"), QLatin1String(key),
                QString())
        .trimmed();
}

} // namespace SettingsStore
