#pragma once

#include <QFile>
#include <QString>
#include <chrono>

class QFileDevice;

// Locks that exclude other processes and other stations: an exclusive lock on one byte of a file
// at 4 GiB, far past any data, so nobody's reads and writes of the data are blocked by it. The
// system drops it when the file is closed or its process ends, however it ends, and it holds on
// a network share (NFS, SMB) as on a local disk. POSIX: an open file description lock (fcntl
// F_OFD_SETLK), so another open of the same file, even in this process, is refused too. Windows:
// LockFileEx. One file per platform implements tryLockOpenFile.

// Takes the lock on a file open for writing without waiting. False when someone else holds it;
// then reason is left empty, or says why the system refused to lock at all.
bool tryLockOpenFile(QFileDevice& file, QString* reason = nullptr);

// Takes the lock, trying again until wait has passed. False with the reason when it could not:
// someone else still held it, or the system refused.
bool lockOpenFile(QFileDevice& file, std::chrono::milliseconds wait, QString* reason = nullptr);

// A lock file that outlives a killed process without blocking the next one (the lease's). Other
// processes can still read the file.
class FileLock {
public:
    explicit FileLock(QString path);
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Opens (creates) the file and locks it without waiting; false when another holds the lock.
    // Throws Failure when the file cannot be opened or the system refuses to lock it.
    bool tryLock();
    bool isLocked() const { return m_file.isOpen(); }
    void unlock() { m_file.close(); }
    // Replaces the file's text; only while locked.
    void writeText(const QString& text);
    // The file's text, "" when it does not exist.
    QString readText() const;
    const QString& path() const { return m_path; }

private:
    QString m_path;
    QFile m_file;
};
