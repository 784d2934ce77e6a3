#include "app/SqlServerLabDatabase.h"

#include "app/AppLockLease.h"
#include "app/DateTimeText.h"
#include "app/Failure.h"
#include "app/LabStatements.h"
#include "app/QueryReader.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

SqlServerLabDatabase::SqlServerLabDatabase(QString connectionName)
    : SqlLabDatabase(std::move(connectionName)) {}

RowSet SqlServerLabDatabase::rows(const QString& text) {
    countStatement();
    QSqlQuery query = QueryReader::execText(database(), text);
    return QueryReader::readAll(query);
}

void SqlServerLabDatabase::execute(const QString& text) {
    countStatement();
    QSqlQuery query = QueryReader::execText(database(), text);
    QueryReader::drain(query);
}

RowSet SqlServerLabDatabase::recentRequests() {
    return rows(LabStatements::recentRequests());
}

RowSet SqlServerLabDatabase::olderRecentRequests(const QDateTime& before) {
    checkBound(before);
    return rows(LabStatements::olderRecentRequests(before));
}

RowSet SqlServerLabDatabase::requestFingerprints() {
    return rows(LabStatements::requestFingerprints());
}

RowSet SqlServerLabDatabase::requestExams(const QString& refNum) {
    return rows(LabStatements::requestExams(refNum));
}

RowSet SqlServerLabDatabase::getRequests(const QString& number, int kind) {
    return rows(LabStatements::getRequests(number, kind));
}

RowSet SqlServerLabDatabase::getBarcodeRows(const QString& barcode) {
    return rows(LabStatements::getBarcodeRows(barcode));
}

void SqlServerLabDatabase::saveMaster(const MasterRecord& record) {
    execute(LabStatements::saveMaster(record));
}

QDateTime SqlServerLabDatabase::serverDate() {
    countStatement();
    QSqlQuery query = QueryReader::execText(database(), LabStatements::serverDate());
    if (!QueryReader::toFirstRowResult(query) || !query.next())
        throw Failure(QStringLiteral("The database server did not tell its time."));
    const int column = query.record().indexOf(QStringLiteral("serverdate"));
    if (column < 0)
        throw Failure(QStringLiteral("The database result has no column \"serverdate\"."));
    const QVariant value = query.value(column);
    query.finish();
    QDateTime time = value.metaType().id() == QMetaType::QDateTime
                         ? value.toDateTime()
                         : DateTimeText::parse(value.toString());
    if (!time.isValid())
        throw Failure(QStringLiteral("The database server's time \"%1\" is not a date and time.")
                          .arg(value.toString()));
    return time;
}

void SqlServerLabDatabase::saveDate(const QString& requestNum, const QString& itemId,
                                    const QString& sectionId, const QString& serverTime) {
    execute(LabStatements::saveDate(requestNum, itemId, sectionId, serverTime));
}

void SqlServerLabDatabase::checkWritable() {
    bool reopened = false;
    if (!database().isOpen()) {
        reopen();
        reopened = true;
    }
    for (;;) {
        try {
            execute(LabStatements::writeCheck());
            return;
        } catch (const Failure& refused) {
            // The clean-up is also the test of the connection: one the network or the server
            // dropped still reads as open, and fails this too.
            bool answers = true;
            try {
                execute(LabStatements::endWriteCheck());
            } catch (const Failure&) {
                answers = false;
            }
            if (answers || reopened)
                throw writeRefused(refused);
        }
        reopen();
        reopened = true;
    }
}

QString SqlServerLabDatabase::identity() {
    if (!m_identity.isEmpty())
        return m_identity;
    const RowSet names = rows(LabStatements::databaseIdentity());
    if (names.isEmpty())
        throw Failure(QStringLiteral("The database server did not tell its name."));
    // Names compare without regard to case on SQL Server.
    m_identity = QStringLiteral("sqlserver:%1/%2")
                     .arg(names.value(0, QStringLiteral("servername")).toLower(),
                          names.value(0, QStringLiteral("dbname")).toLower());
    return m_identity;
}

RowSet SqlServerLabDatabase::changeProbe() {
    return rows(LabStatements::changeProbe());
}

std::unique_ptr<LeaseLock> SqlServerLabDatabase::lease(const QString& name,
                                                       const QString& noteFolder) {
    // A cut connection is opened again by the write check, as after any station fault.
    return std::make_unique<AppLockLease>(
        AppLockLease::Link{[this](const QString& text) { return rows(text); },
                           [this](const QString& text) { execute(text); },
                           [this] { checkWritable(); }},
        name, noteFolder);
}

RowSet SqlServerLabDatabase::leftListRequests(int hours) {
    return rows(LabStatements::leftListRequests(hours));
}
