#pragma once

#include "app/Failure.h"
#include "app/LeaseLock.h"
#include "app/RowSet.h"

#include <QDateTime>
#include <QString>
#include <memory>

// The nine values of one barcode row, in the order Lab_Barcode_SaveMaster takes them.
struct MasterRecord {
    QString refNum;
    QString idNum;
    QString hospNum;
    QString barcode;
    QString itemId;
    QString specimenId;
    QString sectionId;
    QString requestNum;
    QString profileId;
};

// Everything the station asks of the laboratory database, on the one connection. Every operation
// throws Failure with the database's own description when the statement fails. Values always
// reach the database as the same text: no quote or other character can break a statement.
class LabDatabase {
public:
    virtual ~LabDatabase() = default;

    // Recent request numbers of the last 360 minutes by the database's clock, newest first,
    // at most 50 distinct (RefNum, transdate) pairs. Columns RefNum, transdate.
    virtual RowSet recentRequests() = 0;
    // The same rows, only those whose Transdate is strictly earlier than before (a local date and
    // time, whole seconds). Catching up after a full page of 50: call it with the page's oldest
    // transdate plus one second (rows of that second come again and are skipped as listed).
    virtual RowSet olderRecentRequests(const QDateTime& before) = 0;
    // One row per request with item rows entered in the recent list's window (by the database's
    // clock, as recentRequests), whatever their status: RefNum, Items (how many item rows),
    // Labels (a value over every row's ItemId and Barcode: a checksum on SQL Server). A request
    // whose items or barcodes change between two calls almost always reads differently, without
    // a lookup per request; the value is only compared with the same dialect's earlier one.
    virtual RowSet requestFingerprints() = 0;
    // Exam rows of one request: HospNum, IdNum, RefNum, RequestNum, Exam, transdate, PatientName.
    virtual RowSet requestExams(const QString& refNum) = 0;
    // Lab_Barcode_GetRequests with a looked-up number and kind (3 or 2): one row per label;
    // HospNum, PatientName, TransDate, RoomID, Age, Sex, Barcode, Instrument.
    virtual RowSet getRequests(const QString& number, int kind) = 0;
    // Lab_Barcode_GetRequests with a barcode text: RefNum, IDNum, HospNum, Barcode, ItemId,
    // SpecimenId, RequestNum, ProfileId, SectionId, PatientName, Exam.
    virtual RowSet getBarcodeRows(const QString& barcode) = 0;
    virtual void saveMaster(const MasterRecord& record) = 0;
    virtual QDateTime serverDate() = 0;
    // serverTime is the text that LabStatements::serverTimeText made of the server's time.
    virtual void saveDate(const QString& requestNum, const QString& itemId,
                          const QString& sectionId, const QString& serverTime) = 0;

    virtual void beginTransaction() = 0;
    virtual void commitTransaction() = 0;
    virtual void rollbackTransaction() = 0;

    // Returns when the database accepts a write right now; otherwise throws Failure saying what
    // is wrong. The write is real (the barcode date record) and rolled back, so nothing is left
    // behind. A lost connection, or an embedded file at the configured path that is not the one
    // open, is closed and opened again first, so that a database that went away and came back
    // is used again. Call it between jobs, never inside an open transaction: the check's own
    // rollback, or the reopening, would end that transaction.
    virtual void checkWritable() = 0;

    // Which database this is, the same for every connection to it and different for any other
    // database (a copy included): what the station keeps of labels belongs to one database.
    // Empty when the database cannot tell. Throws Failure when it cannot be asked.
    virtual QString identity() { return {}; }

    // The change probe (LabStatements::changeProbe): one row, columns items and newest.
    virtual RowSet changeProbe() {
        throw Failure(QStringLiteral("This lab database has no change probe."));
    }
    // Requests that left the recent list's window no more than hours hours ago
    // (LabStatements::leftListRequests): RefNum, transdate, newest first.
    virtual RowSet leftListRequests(int hours) {
        Q_UNUSED(hours);
        throw Failure(QStringLiteral("This lab database cannot list requests that left the list."));
    }
    // The lab-wide lease of that name: on SQL Server application locks of this connection's
    // session, its note in noteFolder; on the embedded database locks on files beside it, its
    // note beside it too.
    virtual std::unique_ptr<LeaseLock> lease(const QString& name, const QString& noteFolder) {
        Q_UNUSED(name);
        Q_UNUSED(noteFolder);
        throw Failure(QStringLiteral("This lab database has no lease for automatic printing."));
    }

    // Statements sent to the database so far: what the station's work costs the lab's server.
    quint64 statementsSent() const { return m_statementsSent; }

protected:
    void countStatement() { ++m_statementsSent; }

private:
    quint64 m_statementsSent = 0;
};
