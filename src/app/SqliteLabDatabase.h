#pragma once

#include "app/SqlLabDatabase.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The laboratory database as one SQLite file (QSQLITE) with the reference schema, its tables
// unqualified. SQLite has no procedures: Lab_Barcode_GetRequests, Lab_Barcode_SaveMaster,
// Lab_Barcode_SaveDate and the server clock are statements over those tables, every value bound.
class SqliteLabDatabase : public SqlLabDatabase {
public:
    explicit SqliteLabDatabase(QString connectionName);

    // The connection's name for a file: a URI in mode "rw", which never creates a missing file.
    static QString databaseNameFor(const QString& path);
    // The file such a name stands for.
    static QString filePath(const QString& databaseName);
    // The connection's options: its busy time-out, and its name read as a URI.
    static QString connectOptions(int busyTimeoutMs);

    // The tables and views a lab database file must have.
    static QStringList requiredTables();
    // Throws Failure unless the open connection's file has every required table.
    static void checkSchema(const QSqlDatabase& database);

    RowSet recentRequests() override;
    RowSet olderRecentRequests(const QDateTime& before) override;
    RowSet requestFingerprints() override;
    RowSet requestExams(const QString& refNum) override;
    // Kind 3: the number is a request number (RefNum); when no request has it, a label barcode.
    // Kind 2: a label barcode first, a request number second. One row per distinct barcode.
    RowSet getRequests(const QString& number, int kind) override;
    RowSet getBarcodeRows(const QString& barcode) override;
    void saveMaster(const MasterRecord& record) override;
    // The file's local clock, to the millisecond.
    QDateTime serverDate() override;
    // serverTime must be a date and time SQL Server would read (the LabStatements forms, or the
    // station's form); it is stored as "yyyy-MM-dd HH:mm:ss.zzz".
    void saveDate(const QString& requestNum, const QString& itemId, const QString& sectionId,
                  const QString& serverTime) override;

    // The file at the path must still be the one the connection opened: a deleted file takes
    // writes that nobody will ever read. Transactions, and writes outside one, fail otherwise.
    // A transaction whose file went away while it ran is not committed; commitTransaction
    // fails and leaves it for rollbackTransaction.
    void beginTransaction() override;
    void commitTransaction() override;
    // BEGIN IMMEDIATE, the date record's insert, ROLLBACK. A file locked by another connection
    // fails after the connection's busy time-out.
    void checkWritable() override;
    // The file's identity on its volume: a copy or a new file at the same path is another.
    QString identity() override;
    RowSet changeProbe() override;
    RowSet leftListRequests(int hours) override;
    // A lock on a file beside the database file; noteFolder is not used.
    std::unique_ptr<LeaseLock> lease(const QString& name, const QString& noteFolder) override;

private:
    RowSet rows(const QString& text, const QVariantList& values);
    void execute(const QString& text, const QVariantList& values);
    // Throws Failure when the file at m_path is not the one open (deleted, or replaced).
    void checkSameFile() const;
    void limitPageCache();

    QString m_path;
    QByteArray m_identity;
};
