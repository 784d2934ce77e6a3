#pragma once

#include "app/SqlLabDatabase.h"

#include <QSqlDatabase>
#include <QString>

// The laboratory database on SQL Server (QODBC): sends the LabStatements texts as they stand on
// the named connection and reads every result whole.
class SqlServerLabDatabase : public SqlLabDatabase {
public:
    explicit SqlServerLabDatabase(QString connectionName);

    RowSet recentRequests() override;
    RowSet olderRecentRequests(const QDateTime& before) override;
    RowSet requestFingerprints() override;
    RowSet requestExams(const QString& refNum) override;
    RowSet getRequests(const QString& number, int kind) override;
    RowSet getBarcodeRows(const QString& barcode) override;
    void saveMaster(const MasterRecord& record) override;
    QDateTime serverDate() override;
    void saveDate(const QString& requestNum, const QString& itemId, const QString& sectionId,
                  const QString& serverTime) override;
    // LabStatements::writeCheck, then LabStatements::endWriteCheck when it fails. When that
    // fails too the connection is lost: one new connection, one more check.
    void checkWritable() override;
    // The server's own name and the database's, asked once (LabStatements::databaseIdentity).
    QString identity() override;
    RowSet changeProbe() override;
    RowSet leftListRequests(int hours) override;
    std::unique_ptr<LeaseLock> lease(const QString& name, const QString& noteFolder) override;

private:
    RowSet rows(const QString& text);
    void execute(const QString& text);

    QString m_identity;
};
