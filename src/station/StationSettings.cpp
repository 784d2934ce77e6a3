#include "station/StationSettings.h"

#include "app/Failure.h"
#include "app/FilePlaces.h"
#include "app/SettingsStore.h"
#include "station/TakeToken.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <filesystem>
#include <system_error>

namespace AutoPrintSetting {

namespace {
const QString application = QStringLiteral("Wrenfold");
const QString section = QStringLiteral("LabBarcodes");
const QString key = QStringLiteral("vkchkAutoPrintRequests");
} // namespace

int parseValue(const QString& stored) {
    static const QRegularExpression leadingNumber(QStringLiteral("^\\s*([+-]?\\d+)"));
    const QRegularExpressionMatch match = leadingNumber.match(stored);
    if (!match.hasMatch())
        return 0;
    bool ok = false;
    const int value = match.captured(1).toInt(&ok);
    return ok ? value : 0;
}

int read() {
    return parseValue(SettingsStore::read(application, section, key, QStringLiteral("1")));
}

void write(int value) {
    SettingsStore::write(application, section, key, QString::number(value));
}

} // namespace AutoPrintSetting

QString printLogFolderFor(const QString& windir, bool olderFolderExists) {
    if (windir.isEmpty()) {
        const QString folder = FilePlaces::printLogFolderWithoutWindir(olderFolderExists);
        if (!folder.isEmpty())
            return folder;
    }
    QString source = windir;
    return FilePlaces::fromWindowsPath(TakeToken(source, QStringLiteral("\\")) +
                                       QStringLiteral("\\PrintLog"));
}

QString printLogFolderFromEnvironment() {
    return printLogFolderFor(qEnvironmentVariable("windir"),
                             QFileInfo(FilePlaces::olderPrintLogFolder).isDir());
}

QString printLogFolderNote(const QString& folder) {
    if (folder != FilePlaces::olderPrintLogFolder)
        return QString();
    return QStringLiteral("the print log stays in %1, where an older installation kept it; new "
                          "installations use %2 (move the files there and remove %1 to change)")
        .arg(folder, FilePlaces::machinePrintLogFolder);
}

void ensurePrintLogFolder(const QString& folder) {
    if (QFileInfo(folder).isDir())
        return;
    std::error_code error;
    std::filesystem::create_directory(std::filesystem::path(folder.toStdU16String()), error);
    if (error) {
        throw Failure(QStringLiteral("The print log folder \"%1\" cannot be created: %2.")
                          .arg(QDir::toNativeSeparators(folder),
                               QString::fromLocal8Bit(error.message().c_str())));
    }
    if (!QFileInfo(folder).isDir())
        throw Failure(QStringLiteral("The print log folder \"%1\" cannot be created: a file of "
                                     "that name is in the way.")
                          .arg(QDir::toNativeSeparators(folder)));
}
