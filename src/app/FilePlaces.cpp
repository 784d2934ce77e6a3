#include "app/FilePlaces.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace FilePlaces {

QString templatePath() {
    const QString folder = QCoreApplication::applicationDirPath();
    return templatePathFor(folder, QFileInfo::exists(QDir(folder).filePath(templateName)));
}

QString machineConnectionFile() {
    const QString beside =
        QDir(QCoreApplication::applicationDirPath()).filePath(connectionFileName);
    return QFileInfo::exists(beside) ? beside : QDir(machineFolder()).filePath(connectionFileName);
}

} // namespace FilePlaces
