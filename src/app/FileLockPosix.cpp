#include "app/FileLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

bool tryLockOpenFile(QFileDevice& file, QString* reason) {
    struct flock region = {};
    region.l_type = F_WRLCK;
    region.l_whence = SEEK_SET;
    region.l_start = off_t(1) << 32;
    region.l_len = 1;
    if (::fcntl(file.handle(), F_OFD_SETLK, &region) == 0)
        return true;
    const int error = errno;
    if (reason && error != EAGAIN && error != EACCES && error != EINTR)
        *reason = QString::fromLocal8Bit(std::strerror(error));
    return false;
}
