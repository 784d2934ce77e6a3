#include "app/FileSync.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

bool syncToDisk(QFile& file) {
    return file.flush() && ::fsync(file.handle()) == 0;
}

QByteArray fileIdentity(const QString& path) {
    if (path.isEmpty())
        return {};
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return QByteArray::number(quint64(info.st_dev)) + ':' +
           QByteArray::number(quint64(info.st_ino));
}
