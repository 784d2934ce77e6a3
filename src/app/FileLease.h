#pragma once

#include "app/FileLock.h"
#include "app/LeaseLock.h"

#include <QString>

// The lease on the embedded database: a lock on a file beside the database file, holding the
// holder's station name. The operating system drops the lock when the holder's process ends.
class FileLease : public LeaseLock {
public:
    FileLease(const QString& databasePath, const QString& name);

    bool take() override;
    bool holds() override;
    bool isFree() override;
    void release() override;
    void noteHolder(const QString& station) override;
    QString holder() override;

    // "<database file>.lease-<name>", the name's unsafe characters as "_".
    static QString lockPath(const QString& databasePath, const QString& name);

private:
    FileLock m_lock;
};
