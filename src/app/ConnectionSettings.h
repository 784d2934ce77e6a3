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
    // Optional keys of the link's security, beside the four. "Encrypt": "yes" requires an
    // encrypted link whose server certificate a CA vouches for, "no" asks for nothing; absent,
    // the station connects as it always did (see linkSecurity()). "CAFile": the PEM file of the
    // CA that signed the server's certificate, empty for the system's CA store.
    // "TrustServerCertificate": "yes" believes any certificate, an explicit choice.
    QString encrypt{};
    QString caFile{};
    QString trustServerCertificate{};

    bool encryptionRequired() const;
    bool encryptionRefused() const;
    bool certificateTrusted() const;
    // A value of those keys that is neither "yes" nor "no", named; empty when there is none.
    QString securityProblem() const;
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
// What is wrong with the stored settings, for the IT staff: the section missing, lines of the
// settings file that cannot be read. Empty when nothing is wrong.
QStringList
connectionSettingsProblems(const QString& machineFile = FilePlaces::machineConnectionFile());

// A Server value of this form selects the embedded SQLite lab database at the path that follows.
inline constexpr QLatin1StringView embeddedServerPrefix{"sqlite:"};
