#include "app/FolderGroup.h"

#include "app/StationLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

void shareWithFolderGroup(QFile& file, const QString& folder) {
    const QFileInfo folderInfo(folder);
    if (!folderInfo.permissions().testFlag(QFileDevice::WriteGroup) ||
        QFileInfo(file.fileName()).groupId() != folderInfo.groupId())
        return;
    if (!file.setPermissions(file.permissions() | QFileDevice::ReadGroup | QFileDevice::WriteGroup))
        qCWarning(lcQueue).noquote()
            << QStringLiteral("%1: the group cannot be let write it: %2")
                   .arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
}
