#include "app/DbConnection.h"

#include "app/DatabaseErrorText.h"
#include "app/Failure.h"
#include "app/FreeTdsEntryFile.h"
#include "app/LabDatabaseFactory.h"
#include "app/LinkSecurity.h"
#include "app/OdbcConnectionString.h"
#include "app/OdbcDrivers.h"
#include "app/SqliteLabDatabase.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>

DbConnection::DbConnection() = default;

DbConnection::~DbConnection() {
    close();
}

bool DbConnection::open(const ConnectionSettings& settings) {
    close();
    m_failureReason.clear();
    m_loginRefused = false;
    try {
        if (settings.server.startsWith(embeddedServerPrefix))
            openEmbedded(settings.server.mid(embeddedServerPrefix.size()));
        else
            openServer(settings);
        m_lab = makeLabDatabase(QString(connectionName));
        return true;
    } catch (const Failure& failure) {
        m_failureReason = failure.description();
    } catch (const std::exception& error) {
        m_failureReason = QString::fromLocal8Bit(error.what());
    }
    close();
    return false;
}

void DbConnection::openEmbedded(const QString& path) {
    // The SQLite driver would create an empty database for a path that does not exist: the file
    // is opened as a URI in mode "rw", which never creates one, even if it goes in the meantime.
    const QFileInfo file(path);
    if (path.isEmpty() || !file.isFile())
        throw Failure(QStringLiteral("No lab database file at \"%1\".").arg(path));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QString(connectionName));
    db.setDatabaseName(SqliteLabDatabase::databaseNameFor(file.absoluteFilePath()));
    db.setConnectOptions(SqliteLabDatabase::connectOptions(5000));
    if (!db.open())
        throw Failure(DatabaseErrorText::describe(db.lastError()));
}

void DbConnection::openServer(const ConnectionSettings& settings) {
    if (const QString problem = settings.securityProblem(); !problem.isEmpty())
        throw Failure(problem);
    const QString driver = OdbcConnectionString::chooseDriver(installedOdbcDrivers());
    if (driver.isEmpty())
        throw Failure(QStringLiteral("No SQL Server ODBC driver is installed."));
    if (OdbcConnectionString::needsFreeTdsEntry(settings, driver))
        m_freeTdsEntry = std::make_unique<FreeTdsEntryFile>(settings);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), QString(connectionName));
    db.setDatabaseName(OdbcConnectionString::build(settings, driver));
    db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%1")
                             .arg(loginTimeoutSeconds));
    if (!db.open()) {
        m_loginRefused = DatabaseErrorText::isLoginRefused(db.lastError());
        throw Failure(LinkSecurity::explainFailure(settings, driver,
                                                   DatabaseErrorText::describe(db.lastError())));
    }
}

bool DbConnection::isOpen() const {
    return m_lab != nullptr && QSqlDatabase::database(QString(connectionName), false).isOpen();
}

void DbConnection::close() {
    m_lab.reset();
    if (QSqlDatabase::contains(QString(connectionName))) {
        {
            QSqlDatabase db = QSqlDatabase::database(QString(connectionName), false);
            db.close();
        }
        QSqlDatabase::removeDatabase(QString(connectionName));
    }
    m_freeTdsEntry.reset();
}

LabDatabase& DbConnection::lab() {
    if (!m_lab)
        throw Failure(QStringLiteral("The database connection is not open."));
    return *m_lab;
}

bool OpenConnection(DbConnection& connection) {
    return connection.open(ReadConnectionSettings());
}
