#include "LabDbBuilder.h"

#include "app/Failure.h"
#include "app/SqliteLabDatabase.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>

static void initLabDbResources() {
    Q_INIT_RESOURCE(labdb);
}

namespace {

const QString transdateForm = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QVariant nullable(const QString& value) {
    return value.isNull() ? QVariant(QMetaType::fromType<QString>()) : QVariant(value);
}

QString readText(const QSqlQuery& query, int column) {
    const QVariant value = query.value(column);
    return value.isNull() ? QString() : value.toString();
}

QString sqlLiteral(const QString& value) {
    QString text = value;
    text.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

void fail(const QSqlError& error, const QString& what) {
    throw Failure(QStringLiteral("%1: %2").arg(what, error.text()));
}

void exec(QSqlQuery& query, const QString& what) {
    if (!query.exec())
        fail(query.lastError(), what);
}

void execText(const QSqlDatabase& database, const QString& text) {
    QSqlQuery query(database);
    if (!query.exec(text))
        fail(query.lastError(), QStringLiteral("The lab database statement failed"));
}

QString newConnectionName() {
    static QAtomicInt counter;
    return QStringLiteral("quillon-labdb-%1").arg(counter.fetchAndAddRelaxed(1));
}

// Opens path on a new connection named name; the file must exist.
QSqlDatabase openFile(const QString& name, const QString& path) {
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    database.setDatabaseName(path);
    if (!database.open()) {
        const QString reason = database.lastError().text();
        database = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw Failure(QStringLiteral("The lab database %1 cannot be opened: %2").arg(path, reason));
    }
    return database;
}

// Commits on commit(), rolls back when left without it.
class Transaction {
public:
    explicit Transaction(const QSqlDatabase& database)
        : m_database(database) {
        if (!m_database.transaction())
            fail(m_database.lastError(), QStringLiteral("The lab database is busy"));
    }
    ~Transaction() {
        if (!m_done)
            m_database.rollback();
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit() {
        if (!m_database.commit())
            fail(m_database.lastError(), QStringLiteral("The lab database cannot commit"));
        m_done = true;
    }

private:
    QSqlDatabase m_database;
    bool m_done = false;
};

// The reference catalogue: orderable exams, where they are run and what they are taken in.
struct CatalogueExam {
    const char* itemId;
    const char* exam;
    const char* form;
    const char* sectionId;
    const char* specimenId;
    const char* instrument; // nullptr: none
};

const CatalogueExam catalogue[] = {
    {"1001", "CBC with Platelet Count", "R", "1", "1", "Hema XN-3"},
    {"1002", "Erythrocyte Sedimentation Rate", "R", "1", "1", "Hema XN-3"},
    {"1003", "Reticulocyte Count", "R", "1", "1", "Hema XN-3"},
    {"1004", "Blood Typing", "R", "1", "1", "Hema XN-3"},
    {"2001", "Fasting Blood Sugar", "R", "2", "2", "ChemLine 680"},
    {"2002", "Creatinine", "R", "2", "2", "ChemLine 680"},
    {"2003", "Blood Urea Nitrogen", "R", "2", "2", "ChemLine 680"},
    {"2004", "Lipid Profile", "R", "2", "2", "ChemLine 680"},
    {"2005", "ALT/SGPT", "R", "2", "2", "ChemLine 680"},
    {"2006", "Potassium", "R", "2", "2", "ChemLine 680"},
    {"2007", "Sodium", "R", "2", "2", "ChemLine 680"},
    {"2008", "Uric Acid", "R", "2", "2", "ChemLine 680"},
    {"3001", "Urinalysis", "R", "3", "4", "UroScan 200"},
    {"3002", "Fecalysis", "R", "3", "5", "Microscopy Bench"},
    {"4001", "HBsAg Screening", "R", "4", "2", "ImmunoQ 800"},
    {"4002", "TSH", "R", "4", "2", "ImmunoQ 800"},
    {"4003", "Troponin I", "R", "4", "2", "ImmunoQ 800"},
    {"5001", "Prothrombin Time", "R", "5", "3", "CoagPro 15"},
    {"5002", "APTT", "R", "5", "3", "CoagPro 15"},
    {"9001", "Pap Smear", "P", "6", "6", nullptr},
};
constexpr int catalogueSize = int(std::size(catalogue));

const char* const lastNames[] = {
    "Santos", "Reyes",      "Cruz",      "Bautista", "Ocampo",    "Garcia",  "Mendoza",
    "Torres", "Tan",        "Lim",       "Castillo", "Flores",    "Navarro", "Aquino",
    "Ramos",  "Villanueva", "Dela Cruz", "Morales",  "Hernandez", "Lopez",   "Okafor",
    "Nguyen", "Smith",      "Johnson",   "Murphy",   "Kowalski",  "Silva",   "Ibrahim",
};
const char* const firstNames[] = {
    "Maria", "Jose",  "Ana",   "Juan",  "Rosa",    "Miguel", "Carmen", "Antonio",
    "Elena", "Ramon", "Luz",   "Pedro", "Teresa",  "Carlos", "Grace",  "Daniel",
    "Sarah", "John",  "Amina", "Minh",  "Patrick", "Joanna", "Paulo",  "Fatima",
};
const char* const middleNames[] = {
    "Dizon", "Salazar", "Pascual", "Gomez", "Rivera", "Marquez", "Soriano", "Valdez",
};
const char* const rooms[] = {
    "201-A", "201-B", "305", "312-B", "ICU-2", "ICU-4", "NICU-1", "ER", "OPD", "Ward 3-7", "418",
};

template <typename T, std::size_t N> const T& pick(QRandomGenerator& random, const T (&values)[N]) {
    return values[random.bounded(int(N))];
}

LabPatient randomPatient(QRandomGenerator& random, int number) {
    LabPatient patient;
    patient.hospNum = QStringLiteral("%1").arg(100000 + number, 7, 10, QLatin1Char('0'));
    patient.lastName = QString::fromLatin1(pick(random, lastNames));
    patient.firstName = QString::fromLatin1(pick(random, firstNames));
    // Some patients have no middle name on record.
    if (random.bounded(5) != 0)
        patient.middleName = QString::fromLatin1(pick(random, middleNames));
    patient.roomId = QString::fromLatin1(pick(random, rooms));
    patient.age = QString::number(random.bounded(1, 92));
    patient.sex = random.bounded(2) ? QStringLiteral("F") : QStringLiteral("M");
    return patient;
}

// The request numbers of the reference data: charge slips "T<yyMMdd><nnnn>C" for the wards, and
// for outpatients "<yyMMdd><nnnn>B" batches; a label barcode is the request's digits and a
// two-digit label number.
QString dayCode(const QDateTime& when) {
    return when.toString(QStringLiteral("yyMMdd"));
}

LabRequest randomRequest(QRandomGenerator& random, const QDateTime& when, int daySequence,
                         const LabPatient& patient, bool withPathology) {
    const QString digits =
        dayCode(when) + QStringLiteral("%1").arg(daySequence, 4, 10, QLatin1Char('0'));
    const bool outpatient = patient.roomId == QLatin1String("OPD");
    LabRequest request;
    request.refNum = outpatient ? QString(digits + QLatin1Char('B'))
                                : QString(QLatin1Char('T') + digits + QLatin1Char('C'));
    request.transDate = when;
    request.idNum = QStringLiteral("%1-%2")
                        .arg(when.toString(QStringLiteral("yy")))
                        .arg(random.bounded(10000, 99999));
    request.patient = patient;

    // One to four distinct exams; a package request orders a fixed set under one profile.
    QList<int> chosen;
    QString profileId;
    if (random.bounded(8) == 0) {
        chosen = {0, 4, 5, 6, 7, 12};
        profileId = QStringLiteral("PK01");
    } else {
        const int count = 1 + random.bounded(4);
        while (chosen.size() < count) {
            const int index = random.bounded(catalogueSize - 1);
            if (!chosen.contains(index))
                chosen.append(index);
        }
    }
    if (withPathology)
        chosen = {catalogueSize - 1};

    // Exams taken in the same container (section and specimen) share one label.
    QHash<QString, QString> barcodes;
    for (int index : std::as_const(chosen)) {
        const CatalogueExam& exam = catalogue[index];
        const QString container = QString::fromLatin1(exam.sectionId) + QLatin1Char('/') +
                                  QString::fromLatin1(exam.specimenId);
        if (!barcodes.contains(container))
            barcodes.insert(container, digits + QStringLiteral("%1").arg(barcodes.size() + 1, 2, 10,
                                                                         QLatin1Char('0')));
        LabItem item;
        item.exam = QString::fromLatin1(exam.exam);
        item.instrument = exam.instrument ? QString::fromLatin1(exam.instrument) : QString();
        item.barcode = barcodes.value(container);
        item.itemId = QString::fromLatin1(exam.itemId);
        item.specimenId = QString::fromLatin1(exam.specimenId);
        item.sectionId = QString::fromLatin1(exam.sectionId);
        item.profileId = profileId;
        item.form = QString::fromLatin1(exam.form);
        request.items.append(item);
    }
    return request;
}

} // namespace

struct LabDbBuilder::Statements {
    explicit Statements(const QSqlDatabase& database)
        : patient(database)
        , exam(database)
        , profileExam(database)
        , instrumentExam(database)
        , master(database)
        , hemaResult(database) {
        patient.prepare(QStringLiteral(
            "INSERT INTO tbLabPatient (HospNum, LastName, FirstName, MiddleName, RoomID, Age, Sex)"
            " VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT (HospNum) DO UPDATE SET"
            " LastName = excluded.LastName, FirstName = excluded.FirstName,"
            " MiddleName = excluded.MiddleName, RoomID = excluded.RoomID, Age = excluded.Age,"
            " Sex = excluded.Sex"));
        exam.prepare(QStringLiteral(
            "INSERT OR IGNORE INTO tbcolabexam (LabexamId, LabExam, Form) VALUES (?, ?, ?)"));
        profileExam.prepare(QStringLiteral(
            "INSERT OR IGNORE INTO tbcolabprofileexams (ProfileId, ExamId) VALUES (?, ?)"));
        instrumentExam.prepare(
            QStringLiteral("INSERT OR IGNORE INTO tbLabInstrumentExams (ItemID, InstrumentId,"
                           " Active) VALUES (?, ?, '1')"));
        master.prepare(QStringLiteral(
            "INSERT INTO tbLabMaster (RequestNum, RefNum, Transdate, RequestStatus, ItemId,"
            " HospNum, IdNum, SpecimenId, SectionId, ProfileId, Barcode, InstrumentId)"
            " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        hemaResult.prepare(QStringLiteral(
            "INSERT OR REPLACE INTO tblabinstrumentdlhemaresult (RequestNum, WBC, RBC, HGB, HCT,"
            " PLT, ReceivedAt) VALUES (?, ?, ?, ?, ?, ?, ?)"));
    }

    QSqlQuery patient;
    QSqlQuery exam;
    QSqlQuery profileExam;
    QSqlQuery instrumentExam;
    QSqlQuery master;
    QSqlQuery hemaResult;
    QHash<QString, QString> instrumentIds;
};

void LabDbBuilder::create(const QString& path) {
    initLabDbResources();
    if (QFileInfo::exists(path))
        throw Failure(QStringLiteral("The file %1 exists already.").arg(path));

    QFile schemaFile(QStringLiteral(":/labdb/schema-sqlite.sql"));
    if (!schemaFile.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("The lab database schema is missing from the program."));
    QStringList lines;
    for (const QString& line : QString::fromUtf8(schemaFile.readAll()).split(QLatin1Char('\n'))) {
        if (!line.trimmed().startsWith(QLatin1String("--")))
            lines.append(line);
    }

    const QString name = newConnectionName();
    {
        QSqlDatabase database = openFile(name, path);
        try {
            Transaction transaction(database);
            for (const QString& statement : lines.join(QLatin1Char('\n')).split(QLatin1Char(';'))) {
                if (!statement.trimmed().isEmpty())
                    execText(database, statement);
            }
            transaction.commit();
        } catch (const Failure&) {
            database.close();
            database = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            QFile::remove(path);
            throw;
        }
        database.close();
    }
    QSqlDatabase::removeDatabase(name);
}

LabDbBuilder::LabDbBuilder(const QString& path)
    : m_connectionName(newConnectionName()) {
    if (!QFileInfo::exists(path))
        throw Failure(QStringLiteral("The lab database %1 does not exist.").arg(path));
    QSqlDatabase database = openFile(m_connectionName, path);
    try {
        SqliteLabDatabase::checkSchema(database);
        m_statements = std::make_unique<Statements>(database);
    } catch (const Failure&) {
        database.close();
        database = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw;
    }
}

LabDbBuilder::~LabDbBuilder() {
    m_statements.reset();
    QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QString LabDbBuilder::instrumentId(const QString& instrument) {
    const auto known = m_statements->instrumentIds.constFind(instrument);
    if (known != m_statements->instrumentIds.constEnd())
        return known.value();
    const QSqlDatabase database = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery insert(database);
    insert.prepare(QStringLiteral("INSERT OR IGNORE INTO tbLabInstrument (Instrument) VALUES (?)"));
    insert.addBindValue(instrument);
    exec(insert, QStringLiteral("Cannot add the instrument"));
    QSqlQuery select(database);
    select.prepare(QStringLiteral("SELECT InstrumentId FROM tbLabInstrument WHERE Instrument = ?"));
    select.addBindValue(instrument);
    exec(select, QStringLiteral("Cannot find the instrument"));
    select.next();
    QString id = select.value(0).toString();
    m_statements->instrumentIds.insert(instrument, id);
    return id;
}

QString LabDbBuilder::nextRequestNum() {
    if (m_nextRequestNum == 0) {
        QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
        if (!query.exec(QStringLiteral("SELECT max(CAST(RequestNum AS INTEGER)) FROM tbLabMaster")))
            fail(query.lastError(), QStringLiteral("Cannot number the request"));
        query.next();
        m_nextRequestNum = std::max<qint64>(1000001, query.value(0).toLongLong() + 1);
    }
    return QString::number(m_nextRequestNum++);
}

QStringList LabDbBuilder::insertRequest(const LabRequest& request) {
    if (!request.transDate.isValid())
        throw Failure(QStringLiteral("The request %1 has no valid date.").arg(request.refNum));
    Statements& s = *m_statements;
    const LabPatient& p = request.patient;
    if (!p.hospNum.isNull()) {
        for (const QString& value :
             {p.hospNum, p.lastName, p.firstName, p.middleName, p.roomId, p.age, p.sex})
            s.patient.addBindValue(nullable(value));
        exec(s.patient, QStringLiteral("Cannot add the patient"));
    }

    QStringList requestNums;
    for (const LabItem& item : request.items) {
        const QString instrument =
            item.instrument.isNull() ? QString() : instrumentId(item.instrument);
        if (!item.itemId.isNull()) {
            s.exam.addBindValue(item.itemId);
            s.exam.addBindValue(nullable(item.exam));
            s.exam.addBindValue(nullable(item.form));
            exec(s.exam, QStringLiteral("Cannot add the exam"));
            s.profileExam.addBindValue(item.itemId);
            s.profileExam.addBindValue(item.itemId);
            exec(s.profileExam, QStringLiteral("Cannot add the exam"));
            if (!instrument.isNull()) {
                s.instrumentExam.addBindValue(item.itemId);
                s.instrumentExam.addBindValue(instrument);
                exec(s.instrumentExam, QStringLiteral("Cannot add the exam"));
            }
        }
        const QString requestNum = item.requestNum.isNull() ? nextRequestNum() : item.requestNum;
        for (const QString& value :
             {requestNum, request.refNum, request.transDate.toString(transdateForm), request.status,
              item.itemId, p.hospNum, request.idNum, item.specimenId, item.sectionId,
              item.profileId, item.barcode})
            s.master.addBindValue(nullable(value));
        s.master.addBindValue(instrument.isNull() ? QVariant(QMetaType::fromType<qlonglong>())
                                                  : QVariant(instrument.toLongLong()));
        exec(s.master, QStringLiteral("Cannot add the request"));
        requestNums.append(requestNum);
    }
    return requestNums;
}

QStringList LabDbBuilder::addRequest(const LabRequest& request) {
    Transaction transaction(QSqlDatabase::database(m_connectionName, false));
    QStringList requestNums = insertRequest(request);
    transaction.commit();
    return requestNums;
}

void LabDbBuilder::fillDemo(const QDateTime& now, quint32 seed) {
    QRandomGenerator random(seed);
    QList<LabPatient> patients;
    for (int i = 0; i < 30; ++i)
        patients.append(randomPatient(random, i + 1));

    // Today's requests of the last six hours, and older ones of the day before.
    QList<QDateTime> times;
    for (int i = 0; i < 36; ++i)
        times.append(now.addSecs(-qint64(random.bounded(60, 355 * 60))));
    for (int i = 0; i < 12; ++i)
        times.append(now.addSecs(-qint64(random.bounded(8 * 3600, 30 * 3600))));
    std::sort(times.begin(), times.end());

    Transaction transaction(QSqlDatabase::database(m_connectionName, false));
    QHash<QString, int> daySequences;
    for (int i = 0; i < times.size(); ++i) {
        const QDateTime& when = times.at(i);
        const bool recent = when.secsTo(now) < 6LL * 3600;
        const int sequence = ++daySequences[dayCode(when)];
        LabRequest request =
            randomRequest(random, when, sequence, patients.at(random.bounded(int(patients.size()))),
                          recent && i % 17 == 5);
        // Older requests went on; a few recent ones were received already.
        if (!recent)
            request.status = QStringLiteral("D");
        else if (i % 11 == 3)
            request.status = QStringLiteral("R");
        const QStringList requestNums = insertRequest(request);
        if (!recent) {
            for (int k = 0; k < request.items.size(); ++k) {
                if (request.items.at(k).sectionId != QLatin1String("1"))
                    continue;
                Statements& s = *m_statements;
                for (const QString& value :
                     {requestNums.at(k), QStringLiteral("7.4"), QStringLiteral("4.61"),
                      QStringLiteral("13.8"), QStringLiteral("41.2"), QStringLiteral("262"),
                      when.addSecs(3600).toString(transdateForm)})
                    s.hemaResult.addBindValue(value);
                exec(s.hemaResult, QStringLiteral("Cannot add the result"));
            }
        }
    }
    transaction.commit();
}

void LabDbBuilder::generate(int count, const QDateTime& now, quint32 seed) {
    QRandomGenerator random(seed);
    QList<LabPatient> patients;
    const int patientCount = std::max(1, std::min(count / 4, 20000));
    for (int i = 0; i < patientCount; ++i)
        patients.append(randomPatient(random, i + 1));

    Transaction transaction(QSqlDatabase::database(m_connectionName, false));
    QHash<QString, int> daySequences;
    for (int i = count - 1; i >= 0; --i) {
        const QDateTime when = now.addSecs(-qint64(i) * 180);
        const int sequence = ++daySequences[dayCode(when)];
        LabRequest request = randomRequest(
            random, when, sequence, patients.at(random.bounded(int(patients.size()))), false);
        if (when.secsTo(now) >= 24LL * 3600)
            request.status = QStringLiteral("D");
        insertRequest(request);
    }
    transaction.commit();
}

void LabDbBuilder::refuseDateRecordsFor(const QString& requestNum) {
    const QString literal = sqlLiteral(requestNum);
    execText(
        QSqlDatabase::database(m_connectionName, false),
        QStringLiteral("CREATE TRIGGER refuseDateRecord%1 BEFORE INSERT ON tbLabBarcodeDate"
                       " WHEN NEW.RequestNum = %2 BEGIN SELECT RAISE(ABORT, %3); END")
            .arg(m_nextTrigger++)
            .arg(literal,
                 sqlLiteral(
                     QStringLiteral("The date record of request %1 is refused.").arg(requestNum))));
}

void LabDbBuilder::abortTransactionOnDateRecordFor(const QString& requestNum) {
    const QString literal = sqlLiteral(requestNum);
    execText(QSqlDatabase::database(m_connectionName, false),
             QStringLiteral("CREATE TRIGGER abortDateRecord%1 BEFORE INSERT ON tbLabBarcodeDate"
                            " WHEN NEW.RequestNum = %2 BEGIN SELECT RAISE(ROLLBACK, %3); END")
                 .arg(m_nextTrigger++)
                 .arg(literal, sqlLiteral(QStringLiteral("The date record of request %1 ended "
                                                         "the transaction.")
                                              .arg(requestNum))));
}

QList<MasterRecord> LabDbBuilder::masterRecords() const {
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (!query.exec(QStringLiteral(
            "SELECT RefNum, IDNum, HospNum, Barcode, ItemId, SpecimenId, SectionId, RequestNum,"
            " ProfileId FROM tbLabBarcodeMaster ORDER BY RecordId")))
        fail(query.lastError(), QStringLiteral("Cannot read the master records"));
    QList<MasterRecord> records;
    while (query.next()) {
        records.append({readText(query, 0), readText(query, 1), readText(query, 2),
                        readText(query, 3), readText(query, 4), readText(query, 5),
                        readText(query, 6), readText(query, 7), readText(query, 8)});
    }
    return records;
}

QList<DateRecord> LabDbBuilder::dateRecords() const {
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (!query.exec(QStringLiteral("SELECT RequestNum, ItemId, SectionId, ServerTime, StatusFlag,"
                                   " Remarks FROM tbLabBarcodeDate ORDER BY RecordId")))
        fail(query.lastError(), QStringLiteral("Cannot read the date records"));
    QList<DateRecord> records;
    while (query.next()) {
        records.append(
            {readText(query, 0), readText(query, 1), readText(query, 2),
             QDateTime::fromString(readText(query, 3), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
             readText(query, 4), readText(query, 5)});
    }
    return records;
}
