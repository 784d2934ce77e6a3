#include "app/FileLock.h"

#include <io.h>
#include <windows.h>

bool tryLockOpenFile(QFileDevice& file, QString* reason) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    OVERLAPPED at = {};
    at.OffsetHigh = 1; // 4 GiB
    if (::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return true;
    const DWORD error = ::GetLastError();
    if (reason && error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING)
        *reason = QStringLiteral("Windows error %1").arg(error);
    return false;
}
