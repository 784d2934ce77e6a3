#include "app/FileSync.h"

#include <QFile>
#include <QFileInfo>

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

bool letFolderGroupWrite(QFile& file, const QString& folder) {
    const QFileInfo folderInfo(folder);
    if (!folderInfo.permissions().testFlag(QFileDevice::WriteGroup) ||
        QFileInfo(file.fileName()).groupId() != folderInfo.groupId())
        return true;
    return file.setPermissions(file.permissions() | QFileDevice::ReadGroup |
                               QFileDevice::WriteGroup);
}
