#pragma once

#include "app/LeaseLock.h"
#include "app/RowSet.h"

#include <QString>
#include <functional>

// The lease as a SQL Server application lock owned by the session of the station's connection
// (LabStatements' lease texts): no table, no right beyond the database's public role, and the
// server frees it the moment the connection ends. The server does not tell other sessions who
// holds a lock, so the holder notes its station name in a file in the shared print-log folder.
class AppLockLease : public LeaseLock {
public:
    // How the lease's statements reach the server: through the lab database, counted like its
    // own. reconnect opens a lost connection again (a statement that failed is then sent once
    // more).
    struct Link {
        std::function<RowSet(const QString&)> rows;
        std::function<void(const QString&)> execute;
        std::function<void()> reconnect;
    };
    AppLockLease(Link link, QString name, QString noteFolder);

    bool take() override;
    bool holds() override;
    bool isFree() override;
    void release() override;
    void noteHolder(const QString& station) override;
    QString holder() override;

    // The note's file in a folder: "lease <name>.holder", the name's unsafe characters as "_".
    static QString notePath(const QString& folder, const QString& name);

private:
    QString answer(const QString& text, const QString& column);

    Link m_link;
    QString m_name;
    QString m_notePath;
};
