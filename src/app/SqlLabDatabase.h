#pragma once

#include "app/Failure.h"
#include "app/LabDatabase.h"

#include <QSqlDatabase>
#include <QString>

// What both dialects share: the named connection and its transactions.
class SqlLabDatabase : public LabDatabase {
public:
    void beginTransaction() override;
    void commitTransaction() override;
    void rollbackTransaction() override;

protected:
    explicit SqlLabDatabase(QString connectionName);
    QSqlDatabase database() const;
    // Throws Failure with the connection's last error when done is false.
    static void throwIfFailed(bool done, const QSqlDatabase& database, const QString& what);
    // Closes the named connection and opens it again with the settings it was opened with.
    void reopen();
    // The write check's failure in the station's words, around the database's own text.
    static Failure writeRefused(const Failure& cause);
    // Throws Failure when before is no date and time: no catch-up page can follow from it.
    static void checkBound(const QDateTime& before);

private:
    QString m_connectionName;
};
