#pragma once

#include "app/FilePlaces.h"

#include <QString>
#include <QStringList>

// The four connection values, read at each start-up try. The station never writes them.
struct ConnectionSettings {
    QString server;
    QString database;
    QString user;
    QString password;
    // Optional key "TrustServerCertificate" (not one of the four): what ODBC Driver 18 is told;
    // "yes" unless the store says otherwise, so a lab can turn certificate checking back on.
    QString trustServerCertificate = QStringLiteral("yes");
};

// Where the connection settings come from. The account's own section wins whenever it exists,
// whatever it holds; only an account without one reads the machine's file, so IT can change a
// password in one file per workstation.
struct ConnectionSource {
    QString file;     // the file read; empty for the registry
    QString location; // for messages: the registry key, or the file and section
    bool machineWide = false;
};
ConnectionSource
connectionSettingsSource(const QString& machineFile = FilePlaces::machineConnectionFile());

ConnectionSettings
ReadConnectionSettings(const QString& machineFile = FilePlaces::machineConnectionFile());
// Where the connection settings are read from (registry key, or file and section), for messages.
QString connectionSettingsLocation();
// The settings file that holds them, password included; empty on Windows (the registry).
QString connectionSettingsFile();
// What is wrong with the stored settings, for the IT staff: the section missing, lines of the
// settings file that cannot be read. Empty when nothing is wrong.
QStringList
connectionSettingsProblems(const QString& machineFile = FilePlaces::machineConnectionFile());

// A Server value of this form selects the embedded SQLite lab database at the path that follows.
inline constexpr QLatin1StringView embeddedServerPrefix{"sqlite:"};
