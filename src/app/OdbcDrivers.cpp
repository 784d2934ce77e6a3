#include "app/OdbcDrivers.h"

#include <QString>
#include <cstdint>
#include <iterator>

// Windows' ODBC headers take its types from windows.h.
#ifdef Q_OS_WIN
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

QStringList installedOdbcDrivers() {
    // The driver manager's own list: system-wide and per-user drivers, and those of a driver
    // file named by ODBCSYSINI or ODBCINSTINI, as every other ODBC program sees them.
    SQLHENV environment = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment)))
        return {};
    SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION,
                  reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(SQL_OV_ODBC3)), 0);
    // The wide call on every system: one text form for Windows' driver manager and unixODBC.
    QStringList names;
    SQLWCHAR description[512];
    SQLWCHAR attributes[4096];
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST; SQL_SUCCEEDED(
             SQLDriversW(environment, direction, description, std::size(description),
                         &descriptionLength, attributes, std::size(attributes), &attributesLength));
         direction = SQL_FETCH_NEXT)
        names.append(
            QString::fromUtf16(reinterpret_cast<const char16_t*>(description), descriptionLength));
    SQLFreeHandle(SQL_HANDLE_ENV, environment);
    return names;
}
