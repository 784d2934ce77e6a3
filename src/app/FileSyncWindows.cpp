#include "app/FileSync.h"

#include <QDir>
#include <QFile>

#include <io.h>
#include <windows.h>

bool syncToDisk(QFile& file) {
    return file.flush() && _commit(file.handle()) == 0;
}

QByteArray fileIdentity(const QString& path) {
    if (path.isEmpty())
        return {};
    // Attribute access alone, sharing everything: never in the way of the handle SQLite holds.
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE file = ::CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    if (!known)
        return {};
    const quint64 index = (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return QByteArray::number(quint64(info.dwVolumeSerialNumber)) + ':' + QByteArray::number(index);
}
