#pragma once

#include "app/LabDatabase.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <memory>

// Builds and inspects reference laboratory database files (one SQLite file holding the
// Laboratory and Build_File tables). For tests, benchmarks and the quillon-labdb tool.
// A null QString (QString() or {}) in any field below is stored as NULL; an empty one as ''.

struct LabPatient {
    QString hospNum;
    QString lastName;
    QString firstName;
    QString middleName;
    QString roomId;
    QString age;
    QString sex;
};

// One requested item of a request: one row of tbLabMaster. Items of a request that share a
// barcode make one label.
struct LabItem {
    QString exam;       // catalogue name of itemId (the first name given for an itemId wins)
    QString instrument; // the instrument that runs the item; null: none (no exam row then)
    QString barcode;
    QString itemId; // null: the item is in no catalogue (no exam row, Exam '')
    QString specimenId;
    QString sectionId;
    QString profileId;
    QString requestNum; // null: a fresh number is given
    QString form =
        QStringLiteral("R"); // catalogue form of itemId; "P" keeps it off the recent list
};

struct LabRequest {
    QString refNum;
    QDateTime transDate; // local time, stored to the second
    QString status = QStringLiteral("X");
    QString idNum;
    LabPatient patient; // replaces an earlier patient of the same hospital number
    QList<LabItem> items;
};

// What Lab_Barcode_SaveDate stored.
struct DateRecord {
    QString requestNum;
    QString itemId;
    QString sectionId;
    QDateTime serverTime;
    QString statusFlag;
    QString remarks;
};

class LabDbBuilder {
public:
    // Creates a new, empty lab database file. Throws Failure if the file exists already.
    static void create(const QString& path);

    // Opens an existing lab database file on a connection of its own. Throws Failure if the
    // file does not exist or cannot be opened.
    explicit LabDbBuilder(const QString& path);
    ~LabDbBuilder();
    LabDbBuilder(const LabDbBuilder&) = delete;
    LabDbBuilder& operator=(const LabDbBuilder&) = delete;

    // Adds the request's items, their catalogue and instrument entries and the patient.
    // Returns the RequestNum of every item, in item order.
    QStringList addRequest(const LabRequest& request);

    // A few dozen realistic requests of the last six hours before now (and some older ones),
    // several with more than one label. The same now and seed give the same data.
    void fillDemo(const QDateTime& now, quint32 seed = 1);
    // count requests, newest at now and one every three minutes before it, for benchmarks.
    void generate(int count, const QDateTime& now, quint32 seed = 1);

    // From now on Lab_Barcode_SaveDate refuses rows of this RequestNum: the statement fails
    // and the transaction stays open for the caller to roll back.
    void refuseDateRecordsFor(const QString& requestNum);
    // Like refuseDateRecordsFor, but the database also ends the open transaction itself, so
    // the caller's rollback finds none and fails.
    void abortTransactionOnDateRecordFor(const QString& requestNum);

    // What Lab_Barcode_SaveMaster and Lab_Barcode_SaveDate stored, in the order stored.
    QList<MasterRecord> masterRecords() const;
    QList<DateRecord> dateRecords() const;

private:
    struct Statements;
    QStringList insertRequest(const LabRequest& request);
    QString instrumentId(const QString& instrument);
    QString nextRequestNum();

    QString m_connectionName;
    std::unique_ptr<Statements> m_statements;
    qint64 m_nextRequestNum = 0;
    int m_nextTrigger = 1;
};
