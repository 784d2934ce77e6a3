#pragma once

#include "app/ConnectionSettings.h"

#include <QProcess>
#include <QString>

// The TDS test server (tds_server.py) over a reference lab database file, on a loopback port,
// for the SQL Server road: the station reaches it through QODBC, unixODBC and FreeTDS.
class TdsTestServer {
public:
    // encryption: "none" (the login in clear), "off" (the login packet only) or "require"; the
    // certificates go to <labPath>.tls, every byte received to <labPath>.received.
    explicit TdsTestServer(const QString& labPath,
                           const QString& encryption = QStringLiteral("none"));
    ~TdsTestServer();
    TdsTestServer(const TdsTestServer&) = delete;
    TdsTestServer& operator=(const TdsTestServer&) = delete;

    // The station's settings for this server; password: the one it takes, unless given.
    ConnectionSettings settings(const QString& password = QString()) const;
    // The next request on any connection finds it closed, as a server or network dropping it.
    void dropConnections() const;
    // The procedure is refused for want of the EXECUTE permission, until allowed again.
    void deny(const QString& procedure) const;
    void allowAll() const;
    // The server's clock runs this many minutes from the machine's (words set before are dropped).
    void shiftClock(int minutes) const;

    // The CA that signed the server's certificate, and one that signed nothing it shows.
    QString caFile() const { return m_tls + QStringLiteral("/ca.pem"); }
    QString otherCaFile() const { return m_tls + QStringLiteral("/other-ca.pem"); }
    // What the server received so far, as a capture on the loopback would show it.
    QByteArray received() const;

    // Whether the tests run the lab database over this server instead of the SQLite file:
    // the environment's QUILLON_LAB_ROAD is "tds".
    static bool road();

private:
    void control(const QString& words) const;

    QProcess m_process;
    QString m_control;
    QString m_tls;
    QString m_received;
    int m_port = 0;
};
