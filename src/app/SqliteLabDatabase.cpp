#include "app/SqliteLabDatabase.h"

#include "app/Failure.h"
#include "app/FileLease.h"
#include "app/FileSync.h"
#include "app/QueryReader.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

using QueryReader::boundText;

namespace {

const QString storedTimeForm = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

// The same patient name the SQL Server queries compose: "Last, First Middle", null parts empty.
#define PATIENT_NAME(p)                                                                            \
    "ifnull(" p ".LastName,'') || ', ' || ifnull(" p ".FirstName,'') || ' ' || "                   \
    "ifnull(" p ".MiddleName,'')"

// datediff(minute, Transdate, now) < 360 counts minute boundaries: it holds exactly for the
// times from the start of the minute 359 minutes before the current one. Transdate is stored as
// "yyyy-MM-dd HH:mm:ss", so the bound is compared as text and the index on Transdate serves it.
#define IN_WINDOW "A.Transdate >= strftime('%Y-%m-%d %H:%M:00', 'now', 'localtime', '-359 minutes')"
const QString recentSelection =
    QStringLiteral("SELECT DISTINCT A.RefNum AS RefNum, A.Transdate AS transdate"
                   " FROM tbLabMaster A"
                   " LEFT OUTER JOIN tbcolabexam B ON A.ItemId = B.LabexamId"
                   " WHERE A.RequestStatus = 'X' AND B.Form <> 'P' AND " IN_WINDOW);
const QString recentOrder = QStringLiteral(" ORDER BY transdate DESC, RefNum DESC LIMIT 50");
const QString recentRequestsSql = recentSelection + recentOrder;
const QString olderRecentRequestsSql =
    recentSelection + QStringLiteral(" AND A.Transdate < ?") + recentOrder;

// SQLite has no checksum: the request's items and barcodes themselves, in one order. The station
// only compares a request's value with its own earlier one, so the dialects need not agree.
const QString fingerprintsSql = QStringLiteral(
    "SELECT W.RefNum AS RefNum, count(*) AS Items,"
    " group_concat(ifnull(W.ItemId, '') || '=' || ifnull(W.Barcode, ''), ' ') AS Labels"
    " FROM (SELECT A.RefNum, A.ItemId, A.Barcode FROM tbLabMaster A WHERE " IN_WINDOW
    " ORDER BY A.RefNum, A.ItemId, A.Barcode) W GROUP BY W.RefNum");
// The window and status alone, with no join: Transdate's index answers it.
const QString changeProbeSql =
    QStringLiteral("SELECT count(*) AS items, max(A.Transdate) AS newest FROM tbLabMaster A"
                   " WHERE A.RequestStatus = 'X' AND " IN_WINDOW);
// The window's complement, back to a bound the statement is given ("-24 hours").
const QString leftListSql =
    QStringLiteral("SELECT DISTINCT A.RefNum AS RefNum, A.Transdate AS transdate FROM tbLabMaster A"
                   " LEFT OUTER JOIN tbcolabexam B ON A.ItemId = B.LabexamId"
                   " WHERE A.RequestStatus = 'X' AND B.Form <> 'P' AND NOT (" IN_WINDOW ")"
                   " AND A.Transdate >= strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime', ?)"
                   " ORDER BY transdate DESC LIMIT 500");
#undef IN_WINDOW

const QString requestExamsSql = QStringLiteral(
    "SELECT A.HospNum AS HospNum, A.IdNum AS IdNum, A.RefNum AS RefNum,"
    " A.RequestNum AS RequestNum, ifnull(E.LabExam, '') AS Exam, A.Transdate AS "
    "transdate, " PATIENT_NAME(
        "C") " AS PatientName"
             " FROM tbLabMaster A"
             " LEFT OUTER JOIN tbcolabexam B ON A.ItemId = B.LabexamId"
             " LEFT OUTER JOIN vwPatientResultEntry C ON A.HospNum = C.HospNum"
             " LEFT OUTER JOIN tbcolabprofileexams D ON A.ItemId = D.ProfileId"
             " INNER JOIN tbLabInstrumentExams LI ON LI.ItemID = D.ExamId AND LI.Active = '1'"
             " LEFT OUTER JOIN tbcolabexam E ON D.ExamId = E.LabexamId"
             " LEFT OUTER JOIN tblabinstrumentdlhemaresult F ON A.RequestNum = F.RequestNum"
             " WHERE A.RefNum = ?"
             " ORDER BY A.rowid, D.rowid, LI.rowid, F.rowid");

// One row per distinct barcode among the items found by the key column, the first item of each
// barcode giving its instrument, in the order the items were entered.
QString labelsSql(const char* keyColumn) {
    return QStringLiteral(
               "WITH hits AS (SELECT rowid AS rid, HospNum, Transdate, Barcode, InstrumentId"
               " FROM tbLabMaster WHERE ") +
           QLatin1String(keyColumn) +
           QStringLiteral(
               " = ?),"
               " labels AS (SELECT *, row_number() OVER (PARTITION BY Barcode ORDER BY rid) AS k"
               " FROM hits)"
               " SELECT L.HospNum AS HospNum, " PATIENT_NAME(
                   "P") " AS PatientName,"
                        " L.Transdate AS TransDate, P.RoomID AS RoomID, P.Age AS Age, P.Sex AS Sex,"
                        " L.Barcode AS Barcode, I.Instrument AS Instrument"
                        " FROM labels L"
                        " LEFT OUTER JOIN tbLabPatient P ON P.HospNum = L.HospNum"
                        " LEFT OUTER JOIN tbLabInstrument I ON I.InstrumentId = L.InstrumentId"
                        " WHERE L.k = 1 ORDER BY L.rid");
}

const QString barcodeRowsSql = QStringLiteral(
    "SELECT A.RefNum AS RefNum, A.IdNum AS IDNum, A.HospNum AS HospNum, A.Barcode AS Barcode,"
    " A.ItemId AS ItemId, A.SpecimenId AS SpecimenId, A.RequestNum AS RequestNum,"
    " A.ProfileId AS ProfileId, A.SectionId AS SectionId, " PATIENT_NAME(
        "P") " AS PatientName,"
             " ifnull(E.LabExam, '') AS Exam"
             " FROM tbLabMaster A"
             " LEFT OUTER JOIN tbLabPatient P ON P.HospNum = A.HospNum"
             " LEFT OUTER JOIN tbcolabexam E ON E.LabexamId = A.ItemId"
             " WHERE A.Barcode = ? ORDER BY A.rowid");

#undef PATIENT_NAME

const QString saveMasterSql = QStringLiteral(
    "INSERT INTO tbLabBarcodeMaster (RefNum, IDNum, HospNum, Barcode, ItemId, SpecimenId,"
    " SectionId, RequestNum, ProfileId, RecordedAt)"
    " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime'))");

const QString saveDateSql = QStringLiteral(
    "INSERT INTO tbLabBarcodeDate (RequestNum, ItemId, SectionId, ServerTime, StatusFlag,"
    " Remarks, RecordedAt)"
    " VALUES (?, ?, ?, ?, ?, ?, strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime'))");

// The write of Lab_Barcode_SaveDate, made by the write check and always rolled back. The insert
// makes SQLite write the rollback journal beside the file, which a read-only mount or a
// read-only open refuses, where BEGIN IMMEDIATE alone only takes a lock.
const QString writeCheckSql =
    QStringLiteral("INSERT INTO tbLabBarcodeDate (ServerTime, StatusFlag, Remarks, RecordedAt)"
                   " VALUES ('2000-01-01 00:00:00.000', '0', 'write check',"
                   " strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime'))");

const QString serverDateSql =
    QStringLiteral("SELECT strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime') AS serverdate");

// The date-time texts SQL Server reads whatever its language: those LabStatements writes, plus
// the station's own form.
QDateTime parseServerTime(const QString& text) {
    QDateTime time = QDateTime::fromString(text, QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
    if (!time.isValid())
        time = QDateTime::fromString(text, QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    if (!time.isValid())
        time = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!time.isValid()) {
        const QDate day = QDate::fromString(text, QStringLiteral("yyyyMMdd"));
        if (day.isValid())
            time = QDateTime(day, QTime(0, 0));
    }
    return time;
}

Failure fileGone(const QString& path) {
    return Failure(QStringLiteral("The lab database file %1 is gone.").arg(path));
}

} // namespace

SqliteLabDatabase::SqliteLabDatabase(QString connectionName)
    : SqlLabDatabase(std::move(connectionName))
    , m_path(filePath(database().databaseName()))
    , m_identity(fileIdentity(m_path)) {
    limitPageCache();
}

void SqliteLabDatabase::limitPageCache() {
    // The station reads the six-hour window and single requests: without a bound, SQLite's page
    // cache fills to 2 MB as the file grows over the day.
    QSqlQuery query(database());
    query.exec(QStringLiteral("PRAGMA cache_size=-256"));
}

QString SqliteLabDatabase::databaseNameFor(const QString& path) {
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + QStringLiteral("?mode=rw");
}

QString SqliteLabDatabase::filePath(const QString& databaseName) {
    if (!databaseName.startsWith(QLatin1String("file:")))
        return databaseName;
    return QUrl(databaseName).toLocalFile();
}

QString SqliteLabDatabase::connectOptions(int busyTimeoutMs) {
    return QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1;QSQLITE_OPEN_URI").arg(busyTimeoutMs);
}

QStringList SqliteLabDatabase::requiredTables() {
    return {QStringLiteral("tbLabMaster"),          QStringLiteral("tbLabPatient"),
            QStringLiteral("vwPatientResultEntry"), QStringLiteral("tbLabInstrument"),
            QStringLiteral("tbLabInstrumentExams"), QStringLiteral("tblabinstrumentdlhemaresult"),
            QStringLiteral("tbLabBarcodeMaster"),   QStringLiteral("tbLabBarcodeDate"),
            QStringLiteral("tbcolabexam"),          QStringLiteral("tbcolabprofileexams")};
}

void SqliteLabDatabase::checkSchema(const QSqlDatabase& database) {
    const QString file = filePath(database.databaseName());
    QStringList present;
    try {
        QSqlQuery query = QueryReader::execText(
            database,
            QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('table', 'view')"));
        const RowSet names = QueryReader::readAll(query);
        for (int i = 0; i < names.rowCount(); ++i)
            present.append(names.value(i, QStringLiteral("name")));
    } catch (const Failure& failure) {
        throw Failure(
            QStringLiteral("%1 is not a laboratory database: %2").arg(file, failure.description()));
    }
    QStringList missing;
    for (const QString& table : requiredTables()) {
        if (!present.contains(table, Qt::CaseInsensitive))
            missing.append(table);
    }
    if (!missing.isEmpty())
        throw Failure(QStringLiteral("%1 is not a laboratory database: it has no %2.")
                          .arg(file, missing.join(QStringLiteral(", "))));
}

RowSet SqliteLabDatabase::rows(const QString& text, const QVariantList& values) {
    countStatement();
    QSqlQuery query = QueryReader::execBound(database(), text, values);
    return QueryReader::readAll(query);
}

void SqliteLabDatabase::execute(const QString& text, const QVariantList& values) {
    checkSameFile();
    countStatement();
    QSqlQuery query = QueryReader::execBound(database(), text, values);
    QueryReader::drain(query);
}

RowSet SqliteLabDatabase::recentRequests() {
    return rows(recentRequestsSql, {});
}

RowSet SqliteLabDatabase::olderRecentRequests(const QDateTime& before) {
    checkBound(before);
    return rows(olderRecentRequestsSql, {before.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
}

RowSet SqliteLabDatabase::requestFingerprints() {
    return rows(fingerprintsSql, {});
}

RowSet SqliteLabDatabase::requestExams(const QString& refNum) {
    return rows(requestExamsSql, {boundText(refNum)});
}

RowSet SqliteLabDatabase::getRequests(const QString& number, int kind) {
    static const QString byRefNum = labelsSql("RefNum");
    static const QString byBarcode = labelsSql("Barcode");
    const QString& first = kind == 2 ? byBarcode : byRefNum;
    const QString& second = kind == 2 ? byRefNum : byBarcode;
    RowSet found = rows(first, {boundText(number)});
    if (found.isEmpty())
        found = rows(second, {boundText(number)});
    return found;
}

RowSet SqliteLabDatabase::getBarcodeRows(const QString& barcode) {
    return rows(barcodeRowsSql, {boundText(barcode)});
}

void SqliteLabDatabase::saveMaster(const MasterRecord& r) {
    execute(saveMasterSql,
            {boundText(r.refNum), boundText(r.idNum), boundText(r.hospNum), boundText(r.barcode),
             boundText(r.itemId), boundText(r.specimenId), boundText(r.sectionId),
             boundText(r.requestNum), boundText(r.profileId)});
}

QDateTime SqliteLabDatabase::serverDate() {
    const RowSet result = rows(serverDateSql, {});
    const QString text = result.value(0, QStringLiteral("serverdate"));
    QDateTime time = QDateTime::fromString(text, storedTimeForm);
    if (!time.isValid())
        throw Failure(
            QStringLiteral("The database's time \"%1\" is not a date and time.").arg(text));
    return time;
}

void SqliteLabDatabase::saveDate(const QString& requestNum, const QString& itemId,
                                 const QString& sectionId, const QString& serverTime) {
    const QDateTime time = parseServerTime(serverTime);
    if (!time.isValid())
        throw Failure(QStringLiteral("Conversion failed when converting date and/or time from "
                                     "character string \"%1\".")
                          .arg(serverTime));
    execute(saveDateSql, {boundText(requestNum), boundText(itemId), boundText(sectionId),
                          time.toString(storedTimeForm), QStringLiteral("0"), QStringLiteral("")});
}

void SqliteLabDatabase::checkSameFile() const {
    const QByteArray identity = fileIdentity(m_path);
    if (identity.isEmpty())
        throw fileGone(m_path);
    if (identity != m_identity)
        throw Failure(
            QStringLiteral("The lab database file %1 was replaced while it was open.").arg(m_path));
}

void SqliteLabDatabase::beginTransaction() {
    checkSameFile();
    SqlLabDatabase::beginTransaction();
}

void SqliteLabDatabase::commitTransaction() {
    // A write transaction begun before the file went away would commit into the deleted file.
    checkSameFile();
    SqlLabDatabase::commitTransaction();
}

void SqliteLabDatabase::checkWritable() {
    const QByteArray identity = fileIdentity(m_path);
    // Opening a path with no file would create an empty database there.
    if (identity.isEmpty())
        throw fileGone(m_path);
    if (!database().isOpen() || identity != m_identity) {
        reopen();
        // A file being copied back is not the database yet: opened again at the next check.
        checkSchema(database());
        limitPageCache();
        m_identity = identity;
    }

    const QSqlDatabase db = database();
    const auto run = [this, &db](const QString& text) {
        countStatement();
        QSqlQuery query = QueryReader::execText(db, text);
        QueryReader::drain(query);
    };
    try {
        run(QStringLiteral("BEGIN IMMEDIATE"));
    } catch (const Failure& failure) {
        throw writeRefused(failure);
    }
    try {
        run(writeCheckSql);
    } catch (const Failure& failure) {
        try {
            run(QStringLiteral("ROLLBACK"));
        } catch (const Failure&) {
            // SQLite ends the transaction itself on some errors; none is left open then.
        }
        throw writeRefused(failure);
    }
    try {
        run(QStringLiteral("ROLLBACK"));
    } catch (const Failure& failure) {
        throw writeRefused(failure);
    }
}

QString SqliteLabDatabase::identity() {
    return QStringLiteral("file:") + QString::fromLatin1(m_identity);
}

RowSet SqliteLabDatabase::changeProbe() {
    return rows(changeProbeSql, {});
}

std::unique_ptr<LeaseLock> SqliteLabDatabase::lease(const QString& name, const QString&) {
    return std::make_unique<FileLease>(m_path, name);
}

RowSet SqliteLabDatabase::leftListRequests(int hours) {
    return rows(leftListSql, {QStringLiteral("-%1 hours").arg(hours)});
}
