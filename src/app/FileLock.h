#pragma once

#include <QString>

// An exclusive lock on a file that the operating system drops when the process ends, however it
// ends (flock on POSIX, LockFileEx on Windows). A lock file that outlives a killed process
// therefore never blocks the next one. Other processes can still read the file.
class FileLock {
public:
    explicit FileLock(QString path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Opens (creates) the file and locks it without waiting; false when another holds the lock.
    // Throws Failure when the file cannot be opened.
    bool tryLock();
    bool isLocked() const;
    void unlock();
    // Replaces the file's text; only while locked.
    void writeText(const QString& text);
    // The file's text, "" when it does not exist.
    QString readText() const;
    const QString& path() const { return m_path; }

private:
    QString m_path;
    qintptr m_handle = -1;
};
