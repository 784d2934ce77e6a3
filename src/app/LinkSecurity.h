#pragma once

#include "app/ConnectionSettings.h"

#include <QString>
#include <optional>

// How the link to the lab database is protected, as the settings and the chosen ODBC driver make
// it: what "quillon --check" tells, and what a refused server is told as.
struct LinkSecurity {
    bool encrypted = false; // the driver refuses a link that is not encrypted
    bool verified = false;  // ... and a server whose certificate no trusted CA vouches for
    QString description;    // a few words for the check's line

    static LinkSecurity of(const ConnectionSettings& settings, const QString& driver);

    // The reason an open failed, in the station's words when encryption was required and the
    // driver ended the link before the login: it cannot tell a server that offers no encryption
    // from a certificate it refused, so the station asks the server's pre-login itself.
    static QString explainFailure(const ConnectionSettings& settings, const QString& driver,
                                  const QString& reason);

    // The ENCRYPTION answer of the server's pre-login to a client that asks for encryption:
    // whether it offers any; nothing when it cannot be asked (no port, no answer).
    static std::optional<bool> serverOffersEncryption(const QString& server);
};
