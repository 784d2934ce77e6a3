#include "app/LabStatements.h"

#include <QStringList>

namespace LabStatements {

QString literal(const QString& value) {
    QString text = value;
    text.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

namespace {
// The recent query up to its ordering, and the ordering: the catch-up query puts its one extra
// condition between them.
const QString recentSelection =
    QStringLiteral("   select distinct top 50  "
                   "   A.RefNum as [RefNum],transdate  "
                   " from Laboratory..tbLabMaster A  "
                   "   left outer join Build_File..tbcolabexam B on A.ItemId = B.LabexamId  "
                   " where RequestStatus = 'X' and B.Form <> 'P' and "
                   "     datediff(minute,A.Transdate,getdate())<360");
const QString recentOrder = QStringLiteral(" order by transdate desc ");
} // namespace

QString recentRequests() {
    return recentSelection + recentOrder;
}

QString olderRecentRequests(const QDateTime& before) {
    // ISO 8601 with the "T" is read alike under every language and DATEFORMAT for a datetime.
    return recentSelection + QStringLiteral(" and A.Transdate < ") +
           literal(before.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))) + recentOrder;
}

// The start of the minute 359 minutes before the current one: the rows
// datediff(minute, Transdate, getdate()) < 360 of the recent query keeps, without a function
// over the column, so an index on Transdate answers it.
#define IN_WINDOW "A.Transdate >= dateadd(minute, datediff(minute, 0, getdate()) - 359, 0)"

QString requestFingerprints() {
    return QStringLiteral("select A.RefNum as [RefNum], count(*) as [Items],"
                          " checksum_agg(checksum(A.ItemId, A.Barcode)) as [Labels]"
                          " from Laboratory..tbLabMaster A"
                          " where " IN_WINDOW " group by A.RefNum");
}

QString requestExams(const QString& refNum) {
    // The last piece opens the literal; the request number closes it.
    static const QString head = QStringLiteral(
        "   select  "
        "   A.HospNum as [HospNum],  "
        "   A.IdNum as [IdNum],  "
        "   A.RefNum as [RefNum],  "
        "   A.RequestNum as [RequestNum],  "
        "   isnull(E.LabExam,'') as [Exam],a.transdate as transdate,  "
        "   isnull(C.LastName,'')+', '+ isnull(C.FirstName,'')+' '+ isnull(C.MiddleName,'') as "
        "[PatientName]  "
        " from Laboratory..tbLabMaster A  "
        "   left outer join Build_File..tbcolabexam B on A.ItemId = B.LabexamId  "
        "   left outer join Laboratory..vwPatientResultEntry C on A.HospNum=C.HospNum  "
        "   left outer join Build_File..tbcolabprofileexams D on A.ItemId = D.ProfileId  "
        "   inner join Laboratory..tbLabInstrumentExams LI on LI.ItemID = D.ExamId and LI.Active = "
        "'1'  "
        "   left outer join Build_File..tbcolabexam E on D.ExamId = E.LabexamId  "
        "   left outer join Laboratory..tblabinstrumentdlhemaresult F on A.requestnum = "
        "F.RequestNum  "
        " where a.RefNum = '");
    return head.chopped(1) + literal(refNum);
}

QString getRequests(const QString& number, int kind) {
    return QStringLiteral("Laboratory..Lab_Barcode_GetRequests ") + literal(number) +
           QLatin1Char(',') + QString::number(kind);
}

QString getBarcodeRows(const QString& barcode) {
    return QStringLiteral("Laboratory..Lab_Barcode_GetRequests ") + literal(barcode);
}

namespace {
QString call(const QString& procedure, const QStringList& values) {
    QStringList literals;
    literals.reserve(values.size());
    for (const QString& value : values)
        literals.append(literal(value));
    return procedure + QLatin1Char(' ') + literals.join(QLatin1Char(','));
}
} // namespace

QString saveMaster(const MasterRecord& r) {
    // SectionId comes before RequestNum and ProfileId in the procedure's argument order.
    return call(QStringLiteral("Laboratory..Lab_Barcode_SaveMaster"),
                {r.refNum, r.idNum, r.hospNum, r.barcode, r.itemId, r.specimenId, r.sectionId,
                 r.requestNum, r.profileId});
}

QString databaseIdentity() {
    return QStringLiteral("SELECT @@SERVERNAME AS servername, DB_NAME() AS dbname");
}

QString serverDate() {
    return QStringLiteral("SELECT getdate() as serverdate");
}

QString saveDate(const QString& requestNum, const QString& itemId, const QString& sectionId,
                 const QString& serverTime) {
    return call(QStringLiteral("Laboratory..Lab_Barcode_SaveDate"),
                {requestNum, itemId, sectionId, serverTime, QStringLiteral("0"), QString()});
}

QString writeCheck() {
    // The barcode date record is the write the station makes; a rolled-back call proves the
    // database, the procedure and the login's rights accept it now. The lock wait is bounded as
    // the embedded file's busy wait is, and put back to the session's default (wait forever)
    // either way. The error is raised again so that the station reads the server's own text.
    return QStringLiteral(
        "SET LOCK_TIMEOUT 5000;\n"
        "BEGIN TRY\n"
        "    BEGIN TRANSACTION;\n"
        "    EXEC Laboratory..Lab_Barcode_SaveDate '','','','20000101','0','write check';\n"
        "    ROLLBACK TRANSACTION;\n"
        "    SET LOCK_TIMEOUT -1;\n"
        "END TRY\n"
        "BEGIN CATCH\n"
        "    IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;\n"
        "    SET LOCK_TIMEOUT -1;\n"
        "    DECLARE @message nvarchar(2048) = ERROR_MESSAGE();\n"
        "    RAISERROR('%s', 16, 1, @message);\n"
        "END CATCH");
}

QString endWriteCheck() {
    return QStringLiteral("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION; SET LOCK_TIMEOUT -1");
}

QString serverTimeText(const QDateTime& serverTime) {
    // Both forms are read alike whatever the server's language or DATEFORMAT: the unseparated
    // date, and ISO 8601 with the "T".
    if (serverTime.time() == QTime(0, 0))
        return serverTime.toString(QStringLiteral("yyyyMMdd"));
    return serverTime.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}

QString changeProbe() {
    return QStringLiteral(
        "select count(*) as items, max(A.Transdate) as newest from Laboratory..tbLabMaster A "
        "where A.RequestStatus = 'X' and " IN_WINDOW);
}
QString leftListRequests(int hours) {
    return QStringLiteral("select distinct top 500 A.RefNum as [RefNum], A.Transdate as transdate "
                          "from Laboratory..tbLabMaster A left outer join Build_File..tbcolabexam "
                          "B on A.ItemId = B.LabexamId where A.RequestStatus = 'X' and B.Form <> "
                          "'P' and not ") +
           QStringLiteral("(" IN_WINDOW ") and A.Transdate >= dateadd(hour, -%1, getdate()) "
                          "order by transdate desc")
               .arg(hours);
}
#undef IN_WINDOW

// The resource is an nvarchar literal: a lease name outside code page 1252 stays itself.
QString takeLease(const QString& lease) {
    return QStringLiteral("DECLARE @result int; EXEC @result = sp_getapplock @Resource = N") +
           literal(lease) +
           QStringLiteral(", @LockMode = 'Exclusive', @LockOwner = 'Session', @LockTimeout = 0, "
                          "@DbPrincipal = 'public'; SELECT @result AS result");
}

QString leaseMode(const QString& lease) {
    return QStringLiteral("SELECT APPLOCK_MODE('public', N") + literal(lease) +
           QStringLiteral(", 'Session') AS mode");
}

QString leaseFree(const QString& lease) {
    return QStringLiteral("SELECT APPLOCK_TEST('public', N") + literal(lease) +
           QStringLiteral(", 'Exclusive', 'Session') AS free");
}

QString releaseLease(const QString& lease) {
    return QStringLiteral("EXEC sp_releaseapplock @Resource = N") + literal(lease) +
           QStringLiteral(", @LockOwner = 'Session', @DbPrincipal = 'public'");
}

} // namespace LabStatements
