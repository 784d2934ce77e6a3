#include "app/FilePlaces.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace FilePlaces {

QString templatePathFor(const QString& programFolder, bool besideExists) {
#ifdef Q_OS_WIN
    Q_UNUSED(besideExists);
    return QDir(programFolder).filePath(templateName);
#else
    return QDir(besideExists ? programFolder : QString(systemConfigFolder)).filePath(templateName);
#endif
}

QString templatePath() {
    const QString folder = QCoreApplication::applicationDirPath();
    return templatePathFor(folder, QFileInfo::exists(QDir(folder).filePath(templateName)));
}

QString machineConnectionFile() {
    const QString beside =
        QDir(QCoreApplication::applicationDirPath()).filePath(connectionFileName);
#ifdef Q_OS_WIN
    return beside;
#else
    return QFileInfo::exists(beside) ? beside
                                     : QDir(systemConfigFolder).filePath(connectionFileName);
#endif
}

QString labelBaseFolder(const QString& templateFolder) {
    if (QDir::cleanPath(templateFolder) != systemConfigFolder)
        return templateFolder;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Quillon");
}

} // namespace FilePlaces
