#pragma once

#include "app/FileLock.h"
#include "app/LeaseLock.h"

#include <QString>
#include <memory>

// The lease on the embedded database: beside the database file, the note and one lock file per
// generation. The operating system drops a lock when its holder's process ends.
class FileLease : public LeaseLock {
public:
    FileLease(const QString& databasePath, const QString& name);
    ~FileLease() override;

    bool take(quint64 generation) override;
    bool holds() override;
    bool isFree(quint64 generation) override;
    void release() override;

    // The note: "<database file>.lease-<name>", the name's unsafe characters as "_".
    static QString notePath(const QString& databasePath, const QString& name);
    // A generation's lock file: the note's path, "." and the generation.
    QString lockPath(quint64 generation) const;

private:
    std::unique_ptr<FileLock> m_lock;
    quint64 m_generation = 0;
};
