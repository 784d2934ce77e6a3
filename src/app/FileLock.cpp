#include "app/FileLock.h"

#include "app/Failure.h"
#include "app/FolderGroup.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

bool lockOpenFile(QFileDevice& file, std::chrono::milliseconds wait, QString* reason) {
    const QDeadlineTimer deadline(wait);
    QString refused;
    while (!tryLockOpenFile(file, &refused)) {
        if (!refused.isEmpty() || deadline.hasExpired()) {
            if (reason)
                *reason = refused.isEmpty()
                              ? QStringLiteral("another station held its lock for %1 ms")
                                    .arg(wait.count())
                              : refused;
            return false;
        }
        // Holders keep it for one write and a sync: a short nap, not a spin.
        QThread::msleep(5);
    }
    return true;
}

FileLock::FileLock(QString path)
    : m_path(std::move(path))
    , m_file(m_path) {}

bool FileLock::tryLock() {
    if (isLocked())
        return true;
    const bool made = !m_file.exists();
    if (!m_file.open(QIODevice::ReadWrite))
        throw Failure(QStringLiteral("The lock file %1 cannot be opened: %2.")
                          .arg(m_path, m_file.errorString()));
    if (made)
        shareWithFolderGroup(m_file, QFileInfo(m_path).absolutePath());
    QString refused;
    if (tryLockOpenFile(m_file, &refused))
        return true;
    m_file.close();
    if (!refused.isEmpty())
        throw Failure(
            QStringLiteral("The lock file %1 cannot be locked: %2.").arg(m_path, refused));
    return false;
}

void FileLock::writeText(const QString& text) {
    if (!isLocked())
        return;
    // Through the path, not the locked handle: the lock stays on the handle either way.
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0)
        throw Failure(QStringLiteral("The lock file %1 cannot be written: %2.")
                          .arg(m_path, file.errorString()));
}

QString FileLock::readText() const {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll()).trimmed();
}
