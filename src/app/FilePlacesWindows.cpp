#include "app/FilePlaces.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace FilePlaces {

QString machineFolder() {
    const QString programData = qEnvironmentVariable("ProgramData");
    return QDir::fromNativeSeparators(programData.isEmpty() ? QStringLiteral("C:\\ProgramData")
                                                            : programData) +
           QStringLiteral("/Quillon");
}

// The installer puts the template beside quillon.exe; there is no other place for it.
QString templatePathFor(const QString& programFolder, bool) {
    return QDir(programFolder).filePath(templateName);
}

// Under Program Files a bench account may not write: relative folders go to its data folder.
// QFileInfo::isWritable() reads no access list on Windows (it would call Program Files
// writable), so a probe file tells.
QString labelBaseFolder(const QString& templateFolder) {
    if (QTemporaryFile(QDir(templateFolder).filePath(QStringLiteral(".quillon-write-XXXXXX")))
            .open())
        return templateFolder;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Quillon");
}

// The folder always follows windir, as on every Windows the print log has known.
QString printLogFolderWithoutWindir(bool) {
    return QString();
}

QString fromWindowsPath(QString path) {
    return path;
}

} // namespace FilePlaces
