#include "app/FilePlaces.h"

#include <QDir>
#include <QStandardPaths>

namespace FilePlaces {

QString machineFolder() {
    return systemConfigFolder;
}

QString templatePathFor(const QString& programFolder, bool besideExists) {
    return QDir(besideExists ? programFolder : QString(systemConfigFolder)).filePath(templateName);
}

QString labelBaseFolder(const QString& templateFolder) {
    if (QDir::cleanPath(templateFolder) != systemConfigFolder)
        return templateFolder;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Quillon");
}

QString printLogFolderWithoutWindir(bool olderFolderExists) {
    return olderFolderExists ? QString(olderPrintLogFolder) : QString(machinePrintLogFolder);
}

QString fromWindowsPath(QString path) {
    return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

} // namespace FilePlaces
