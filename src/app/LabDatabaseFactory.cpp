#include "app/LabDatabaseFactory.h"

#include "app/Failure.h"
#include "app/SqlServerLabDatabase.h"
#include "app/SqliteLabDatabase.h"

#include <QSqlDatabase>

std::unique_ptr<LabDatabase> makeLabDatabase(const QString& connectionName) {
    const QSqlDatabase database = QSqlDatabase::database(connectionName, false);
    if (!database.isValid())
        throw Failure(
            QStringLiteral("There is no database connection \"%1\".").arg(connectionName));
    if (!database.isOpen())
        throw Failure(QStringLiteral("The database connection is not open."));

    const QString driver = database.driverName();
    if (driver.startsWith(QLatin1String("QODBC")))
        return std::make_unique<SqlServerLabDatabase>(connectionName);
    if (driver == QLatin1String("QSQLITE")) {
        SqliteLabDatabase::checkSchema(database);
        return std::make_unique<SqliteLabDatabase>(connectionName);
    }
    throw Failure(QStringLiteral("The laboratory database cannot be reached through the %1 driver.")
                      .arg(driver));
}
