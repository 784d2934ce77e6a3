#pragma once

#include <QString>

// The four connection values, read once at start-up. The station never writes them.
struct ConnectionSettings {
    QString server;
    QString database;
    QString user;
    QString password;
};

ConnectionSettings ReadConnectionSettings();

// A Server value of this form selects the embedded SQLite lab database at the path that follows.
inline constexpr QLatin1StringView embeddedServerPrefix{"sqlite:"};
