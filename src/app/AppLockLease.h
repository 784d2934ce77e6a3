#pragma once

#include "app/LeaseLock.h"
#include "app/RowSet.h"

#include <QString>
#include <functional>

// The lease as SQL Server application locks owned by the session of the station's connection
// (LabStatements' lease texts), one resource per generation ("<name>#<generation>"): no table, no
// right beyond the database's public role, and the server frees a lock the moment its connection
// ends. The server does not tell other sessions who holds a lock, so the note lives in a file in
// the shared print-log folder.
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
    AppLockLease(Link link, QString name, const QString& noteFolder);

    bool take(quint64 generation) override;
    bool holds() override;
    bool isFree(quint64 generation) override;
    void release() override;

    // The note's file in a folder: "lease <name>.holder", the name's unsafe characters as "_".
    static QString notePath(const QString& folder, const QString& name);
    // The application lock of a generation.
    static QString resource(const QString& name, quint64 generation);

private:
    QString answer(const QString& text, const QString& column);
    bool holds(quint64 generation);

    Link m_link;
    QString m_name;
    quint64 m_generation = 0; // the one taken last
};
