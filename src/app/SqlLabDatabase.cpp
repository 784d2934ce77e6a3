#include "app/SqlLabDatabase.h"

#include "app/DatabaseErrorText.h"
#include "app/Failure.h"

#include <QSqlError>

SqlLabDatabase::SqlLabDatabase(QString connectionName)
    : m_connectionName(std::move(connectionName)) {}

QSqlDatabase SqlLabDatabase::database() const {
    return QSqlDatabase::database(m_connectionName, false);
}

void SqlLabDatabase::throwIfFailed(bool done, const QSqlDatabase& database, const QString& what) {
    if (done)
        return;
    if (!database.isOpen())
        throw Failure(QStringLiteral("The database connection is not open."));
    const QString text = DatabaseErrorText::describe(database.lastError());
    throw Failure(text.isEmpty() ? QStringLiteral("The database could not %1.").arg(what) : text);
}

void SqlLabDatabase::beginTransaction() {
    QSqlDatabase db = database();
    throwIfFailed(db.transaction(), db, QStringLiteral("begin a transaction"));
}

void SqlLabDatabase::commitTransaction() {
    QSqlDatabase db = database();
    throwIfFailed(db.commit(), db, QStringLiteral("commit the transaction"));
}

void SqlLabDatabase::rollbackTransaction() {
    QSqlDatabase db = database();
    throwIfFailed(db.rollback(), db, QStringLiteral("roll the transaction back"));
}

void SqlLabDatabase::reopen() {
    QSqlDatabase db = database();
    db.close();
    if (!db.open())
        throw Failure(QStringLiteral("The lab database cannot be opened again: %1")
                          .arg(DatabaseErrorText::describe(db.lastError())));
}

Failure SqlLabDatabase::writeRefused(const Failure& cause) {
    const QString text = cause.description().trimmed();
    return Failure(
        QStringLiteral("The lab database cannot be written: %1%2")
            .arg(text, text.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral(".")));
}

void SqlLabDatabase::checkBound(const QDateTime& before) {
    if (!before.isValid())
        throw Failure(QStringLiteral(
            "Catching up on recent requests needs a date and time to go back from."));
}
