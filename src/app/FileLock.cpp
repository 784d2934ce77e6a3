#include "app/FileLock.h"

#include "app/Failure.h"

#include <QFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
// The locked range lies far past the text, so readers of the text are never blocked.
constexpr DWORD lockedOffsetHigh = 1;
#endif

Failure cannotOpen(const QString& path, const QString& reason) {
    return Failure(QStringLiteral("The lock file %1 cannot be opened: %2.").arg(path, reason));
}

} // namespace

FileLock::FileLock(QString path)
    : m_path(std::move(path)) {}

FileLock::~FileLock() {
    unlock();
}

bool FileLock::isLocked() const {
    return m_handle != -1;
}

#ifdef Q_OS_WIN

bool FileLock::tryLock() {
    if (isLocked())
        return true;
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(m_path.utf16()),
                              GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw cannotOpen(m_path, QStringLiteral("error %1").arg(GetLastError()));
    OVERLAPPED at = {};
    at.OffsetHigh = lockedOffsetHigh;
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        CloseHandle(file);
        return false;
    }
    m_handle = reinterpret_cast<qintptr>(file);
    return true;
}

void FileLock::unlock() {
    if (!isLocked())
        return;
    CloseHandle(reinterpret_cast<HANDLE>(m_handle)); // closing drops the lock
    m_handle = -1;
}

#else

bool FileLock::tryLock() {
    if (isLocked())
        return true;
    const int fd =
        ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0664);
    if (fd < 0)
        throw cannotOpen(m_path, QString::fromLocal8Bit(std::strerror(errno)));
    // flock belongs to this open file: another open, even in this process, is refused too.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

void FileLock::unlock() {
    if (!isLocked())
        return;
    ::close(static_cast<int>(m_handle)); // closing drops the lock
    m_handle = -1;
}

#endif

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
