#include "app/OdbcDrivers.h"

#include <QSettings>
#include <QString>

QStringList installedOdbcDrivers() {
#ifdef Q_OS_WIN
    QSettings drivers(
        QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers"),
        QSettings::NativeFormat);
    return drivers.childKeys();
#else
    // unixODBC keeps its driver list in odbcinst.ini, in $ODBCSYSINI or /etc.
    QString folder = qEnvironmentVariable("ODBCSYSINI");
    if (folder.isEmpty())
        folder = QStringLiteral("/etc");
    QSettings drivers(folder + QStringLiteral("/odbcinst.ini"), QSettings::IniFormat);
    QStringList names = drivers.childGroups();
    names.removeAll(QStringLiteral("ODBC"));
    return names;
#endif
}
