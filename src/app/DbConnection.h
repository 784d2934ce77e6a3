#pragma once

#include "app/ConnectionSettings.h"
#include "app/LabDatabase.h"

#include <QString>
#include <memory>

class FreeTdsEntryFile;

// The program's one database connection. It lives for the whole run; everything the station asks
// of the laboratory database goes through lab() on it. What the driver needs to open the link
// again (the FreeTDS entry) lives as long as the connection, so a reopen after a drop (the write
// check's, the lease's) opens it as the first open did.
class DbConnection {
public:
    static constexpr QLatin1StringView connectionName{"quillon"};
    // Seconds the login may take before an unreachable or silent server counts as a failure.
    static constexpr int loginTimeoutSeconds = 5;

    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    // Closes an open connection first, then opens one from the settings. Returns false on any
    // failure; failureReason() then says why (for the IT staff; the user sees one message).
    bool open(const ConnectionSettings& settings);
    bool isOpen() const;
    void close();
    QString failureReason() const { return m_failureReason; }
    // The last open failed because the server refused the login, not because it was not reached.
    bool loginRefused() const { return m_loginRefused; }

    // Valid only while the connection is open.
    LabDatabase& lab();

private:
    void openEmbedded(const QString& path);
    void openServer(const ConnectionSettings& settings);

    std::unique_ptr<LabDatabase> m_lab;
    std::unique_ptr<FreeTdsEntryFile> m_freeTdsEntry;
    QString m_failureReason;
    bool m_loginRefused = false;
};

// Opens `connection` from the stored settings (ReadConnectionSettings). True when it is open.
bool OpenConnection(DbConnection& connection);
