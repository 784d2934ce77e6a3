#include "queue/LabelLedger.h"

#include "app/StationLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>

namespace {

QString newConnectionName() {
    static std::atomic<int> count{0};
    return QStringLiteral("quillon-label-ledger-%1").arg(++count);
}

// Splits "barcode\noccurrence" into its two parts.
std::pair<QString, int> splitLabel(const QString& label) {
    const qsizetype cut = label.lastIndexOf(QLatin1Char('\n'));
    if (cut < 0)
        return {label, 0};
    return {label.left(cut), label.mid(cut + 1).toInt()};
}

QString nowText() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

using Stage = LabelLedger::Stage;
// What a label has not finished: a stage before logged or passed over.
const QString unfinished = QStringLiteral("stage IN (%1, %2, %3, %4)")
                               .arg(int(Stage::ToPrint))
                               .arg(int(Stage::Printed))
                               .arg(int(Stage::Recorded))
                               .arg(int(Stage::Logging));

// Runs one statement on the journal's connection; throws JournalFailure saying what failed.
QSqlQuery runStatement(const QString& connection, const QString& path, const QString& statement,
                       const QVariantList& values, const QString& failed) {
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    query.prepare(statement);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw JournalFailure(
            QStringLiteral("The label journal %1 could not be %2: %3")
                .arg(QDir::toNativeSeparators(path), failed, query.lastError().text()));
    return query;
}

// What SQLite says of a file that is not a sound database: damaged (SQLITE_CORRUPT) or not a
// database at all (SQLITE_NOTADB). Every other failure (a full disk, a file it cannot create or
// lock) leaves the file as good as it was.
bool saysDamaged(const QSqlError& error) {
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == 11 || code == 26;
}

// The journal's file cannot be read as a database: moved aside, never read again.
class DamagedJournal : public JournalFailure {
public:
    using JournalFailure::JournalFailure;
};

bool finished(Stage stage) {
    return stage == Stage::Logged || stage == Stage::PassedOver;
}

} // namespace

LabelLedger::LabelLedger(const QString& path, std::function<QString()> database)
    : m_connection(newConnectionName())
    , m_path(path)
    , m_identity(std::move(database)) {}

LabelLedger::~LabelLedger() {
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

void LabelLedger::open() {
    if (m_open)
        return;
    try {
        m_database = m_identity ? m_identity() : QString();
    } catch (const std::exception& error) {
        throw JournalFailure(
            QStringLiteral("The label journal cannot be used: the lab database did "
                           "not tell which database it is: %1")
                .arg(QString::fromLocal8Bit(error.what())));
    }
    // Only a file SQLite calls damaged is set aside: any other failure (a full disk) is the
    // station fault the caller tells, and the check opens the same file again once it is mended.
    try {
        openFile(m_path);
    } catch (const DamagedJournal& failure) {
        if (m_path.isEmpty() || !QFileInfo::exists(m_path))
            throw;
        QSqlDatabase::database(m_connection, false).close();
        // Kept with its write-ahead log for whoever wants to look at it, never read again.
        const QString aside =
            m_path + QStringLiteral(".damaged-") +
            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        if (!QFile::rename(m_path, aside))
            throw;
        for (const QString& part : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            if (!QFile::rename(m_path + part, aside + part))
                QFile::remove(m_path + part);
        }
        qCWarning(lcPrint).noquote()
            << QStringLiteral("label journal %1 could not be read (%2); moved aside to %3 and "
                              "started anew: labels of unfinished requests may print twice")
                   .arg(QDir::toNativeSeparators(m_path), failure.description(),
                        QDir::toNativeSeparators(aside));
        openFile(m_path);
    }
    m_open = true;
    purge();
}

void LabelLedger::check() {
    if (!m_failedWrite) {
        column(QStringLiteral("SELECT 1 FROM labels WHERE db = ? LIMIT 1"), {});
        return;
    }
    const std::function<void()> repeat = m_failedWrite;
    repeat();
    m_failedWrite = {};
}

void LabelLedger::write(const std::function<void()>& operation) {
    m_failedWrite = operation;
    operation();
    m_failedWrite = {};
}

void LabelLedger::openFile(const QString& path) {
    QSqlDatabase::removeDatabase(m_connection);
    m_connection = newConnectionName();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (path.isEmpty()) {
        db.setDatabaseName(QStringLiteral(":memory:"));
    } else {
        QDir().mkpath(QFileInfo(path).absolutePath());
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    }
    const auto fail = [&path](const QSqlError& error) {
        const QString text = QStringLiteral("The label journal %1 cannot be used: %2")
                                 .arg(QDir::toNativeSeparators(path), error.text());
        if (saysDamaged(error))
            throw DamagedJournal(text);
        throw JournalFailure(text);
    };
    if (!db.open())
        fail(db.lastError());
    QSqlQuery query(db);
    // Entries of the first version name no database: no database can own them. Entries without
    // the run's own line come from a test version of this file.
    if (query.exec(
            QStringLiteral("SELECT 1 FROM pragma_table_info('labels') WHERE name = 'own'")) &&
        !query.next())
        query.exec(QStringLiteral("DROP TABLE IF EXISTS labels"));
    const QStringList setup{
        QStringLiteral("PRAGMA journal_mode=WAL"),
        QStringLiteral("PRAGMA synchronous=FULL"),
        // A week of finished entries would otherwise fill SQLite's 2 MB page cache as the file
        // grows; the station reads only a request's own rows and the unfinished ones.
        QStringLiteral("PRAGMA cache_size=-128"),
        QStringLiteral(
            "CREATE TABLE IF NOT EXISTS labels (db TEXT NOT NULL, request TEXT NOT "
            "NULL, barcode TEXT NOT NULL, occurrence INTEGER NOT NULL, stage INTEGER "
            "NOT NULL, at TEXT NOT NULL, day TEXT NOT NULL DEFAULT '', before INTEGER "
            "NOT NULL DEFAULT 0, own INTEGER NOT NULL DEFAULT 0, PRIMARY KEY (db, request, "
            "barcode, occurrence)) "
            "WITHOUT ROWID"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS labels_stage ON labels (db, stage)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS history_owed (id TEXT PRIMARY KEY, line BLOB "
                       "NOT NULL)"),
        QStringLiteral("PRAGMA quick_check"),
    };
    for (const QString& statement : setup) {
        if (!query.exec(statement))
            fail(query.lastError());
    }
    if (!query.next() && query.lastError().isValid())
        fail(query.lastError());
    if (!query.isValid() || query.value(0).toString() != QLatin1String("ok"))
        throw DamagedJournal(QStringLiteral("The label journal %1 cannot be used: the file is "
                                            "damaged")
                                 .arg(QDir::toNativeSeparators(path)));
    query.finish();
}

void LabelLedger::purge() {
    // Weeks of finished entries would only slow the station down: the list reaches back six
    // hours. An unfinished entry stays however old it is: its label is still owed.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (m_purged.isValid() && m_purged.secsTo(now) < 24 * 3600)
        return;
    m_purged = now;
    exec(
        QStringLiteral("DELETE FROM labels WHERE at < ? AND stage IN (?, ?)"),
        {now.addDays(-keptDays).toString(Qt::ISODate), int(Stage::Logged), int(Stage::PassedOver)});
}

void LabelLedger::exec(const QString& statement, const QVariantList& values) {
    open();
    runStatement(m_connection, m_path, statement, values, QStringLiteral("written"));
}

QVariantList LabelLedger::column(const QString& statement, const QVariantList& values) {
    open();
    QSqlQuery query = runStatement(m_connection, m_path, statement,
                                   QVariantList{m_database} + values, QStringLiteral("read"));
    QVariantList result;
    while (query.next())
        result.append(query.value(0));
    return result;
}

LabelLedger::Stage LabelLedger::stage(const QString& key, const QString& label) {
    const auto [barcode, occurrence] = splitLabel(label);
    const QVariantList stages = column(QStringLiteral("SELECT stage FROM labels WHERE db = ? AND "
                                                      "request = ? AND barcode = ? AND "
                                                      "occurrence = ?"),
                                       {key, barcode, occurrence});
    return stages.isEmpty() ? Stage::Unknown : static_cast<Stage>(stages.first().toInt());
}

void LabelLedger::setStage(const QString& key, const QString& label, Stage stage) {
    write([this, key, label, stage] {
        purge();
        const auto [barcode, occurrence] = splitLabel(label);
        exec(QStringLiteral("INSERT OR REPLACE INTO labels (db, request, barcode, occurrence, "
                            "stage, at) VALUES (?, ?, ?, ?, ?, ?)"),
             {m_database, key, barcode, occurrence, int(stage), nowText()});
    });
}

QStringList LabelLedger::owed(const QString& key, const QStringList& labels) {
    open();
    QHash<QString, Stage> stages;
    QSqlQuery query = runStatement(
        m_connection, m_path,
        QStringLiteral("SELECT barcode || char(10) || occurrence, stage FROM labels WHERE db = ? "
                       "AND request = ?"),
        {m_database, key}, QStringLiteral("read"));
    while (query.next())
        stages.insert(query.value(0).toString(), static_cast<Stage>(query.value(1).toInt()));
    QStringList owed;
    for (const QString& label : labels) {
        const Stage now = stages.value(label, Stage::Unknown);
        if (now == Stage::Unknown)
            setStage(key, label, Stage::ToPrint);
        if (!finished(now))
            owed.append(label);
    }
    // A label the request no longer has (its barcode changed, its exam removed) is owed no more.
    for (auto it = stages.cbegin(); it != stages.cend(); ++it) {
        if (!finished(it.value()) && !labels.contains(it.key()))
            setStage(key, it.key(), Stage::PassedOver);
    }
    return owed;
}

QSet<QString> LabelLedger::owingRequests() {
    QSet<QString> keys;
    for (const QVariant& key : column(
             QStringLiteral("SELECT DISTINCT request FROM labels WHERE db = ? AND ") + unfinished,
             {}))
        keys.insert(key.toString());
    return keys;
}

bool LabelLedger::ended(const QString& key) {
    return !column(QStringLiteral("SELECT 1 FROM labels WHERE db = ? AND request = ? AND stage IN "
                                  "(?, ?) LIMIT 1"),
                   {key, int(Stage::Logged), int(Stage::PassedOver)})
                .isEmpty();
}

int LabelLedger::beginLogging(const QString& key, const QString& transDate, int linesBefore,
                              bool ownLine) {
    write([this, key, transDate, linesBefore, ownLine] {
        exec(QStringLiteral("UPDATE labels SET stage = ?, at = ?, day = ?, before = ?, own = ? "
                            "WHERE db = ? AND request = ? AND stage IN (?, ?)"),
             {int(Stage::Logging), nowText(), transDate, linesBefore, int(ownLine), m_database, key,
              int(Stage::Recorded), int(Stage::Logging)});
    });
    return column(QStringLiteral("SELECT count(*) FROM labels WHERE db = ? AND request = ? AND "
                                 "stage = ?"),
                  {key, int(Stage::Logging)})
        .value(0)
        .toInt();
}

void LabelLedger::loggingFailed(const QString& key) {
    write([this, key] {
        exec(QStringLiteral("UPDATE labels SET stage = ? WHERE db = ? AND request = ? AND "
                            "stage = ?"),
             {int(Stage::Recorded), m_database, key, int(Stage::Logging)});
    });
}

QList<LabelLedger::Logging> LabelLedger::unfinishedLogging() {
    open();
    QSqlQuery query = runStatement(
        m_connection, m_path,
        QStringLiteral("SELECT request, day, max(before), count(*), max(own) FROM labels WHERE "
                       "db = ? AND stage = ? GROUP BY request, day"),
        {m_database, int(Stage::Logging)}, QStringLiteral("read"));
    QList<Logging> result;
    while (query.next())
        result.append({query.value(0).toString(), query.value(1).toString(), query.value(2).toInt(),
                       query.value(3).toInt(), query.value(4).toInt() != 0});
    return result;
}

void LabelLedger::inTransaction(const std::function<void()>& writes) {
    open();
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    db.transaction();
    try {
        writes();
    } catch (const JournalFailure&) {
        db.rollback();
        throw;
    }
    if (!db.commit())
        throw JournalFailure(QStringLiteral("The label journal %1 could not be written: %2")
                                 .arg(QDir::toNativeSeparators(m_path), db.lastError().text()));
}

void LabelLedger::insertPassedOver(const QString& key, const QStringList& labels) {
    for (const QString& label : labels) {
        const auto [barcode, occurrence] = splitLabel(label);
        exec(QStringLiteral("INSERT OR IGNORE INTO labels (db, request, barcode, occurrence, "
                            "stage, at) VALUES (?, ?, ?, ?, ?, ?)"),
             {m_database, key, barcode, occurrence, int(Stage::PassedOver), nowText()});
    }
}

void LabelLedger::markLogged(const QString& key, const QStringList& labels) {
    write([this, key, labels] {
        inTransaction([&] {
            exec(QStringLiteral(
                     "UPDATE labels SET stage = ?, at = ? WHERE db = ? AND request = ? AND "
                     "stage = ?"),
                 {int(Stage::Logged), nowText(), m_database, key, int(Stage::Logging)});
            insertPassedOver(key, labels);
        });
    });
}

void LabelLedger::passOver(const QString& key, const QStringList& labels) {
    write([this, key, labels] {
        inTransaction([&] {
            exec(QStringLiteral("UPDATE labels SET stage = ?, at = ? WHERE db = ? AND request = ?"),
                 {int(Stage::PassedOver), nowText(), m_database, key});
            insertPassedOver(key, labels);
        });
    });
}

void LabelLedger::setStage(const QString& key, const QString& label, Stage stage,
                           const OwedEvent& event) {
    write([this, key, label, stage, event] {
        purge();
        inTransaction([&] {
            const auto [barcode, occurrence] = splitLabel(label);
            exec(QStringLiteral("INSERT OR REPLACE INTO labels (db, request, barcode, occurrence, "
                                "stage, at) VALUES (?, ?, ?, ?, ?, ?)"),
                 {m_database, key, barcode, occurrence, int(stage), nowText()});
            exec(QStringLiteral("INSERT OR IGNORE INTO history_owed (id, line) VALUES (?, ?)"),
                 {event.id, event.line});
        });
    });
}

void LabelLedger::oweEvents(const QList<OwedEvent>& events) {
    if (events.isEmpty())
        return;
    write([this, events] {
        inTransaction([&] {
            for (const OwedEvent& event : events)
                exec(QStringLiteral("INSERT OR IGNORE INTO history_owed (id, line) VALUES (?, ?)"),
                     {event.id, event.line});
        });
    });
}

QList<LabelLedger::OwedEvent> LabelLedger::owedEvents() {
    open();
    QSqlQuery query = runStatement(
        m_connection, m_path, QStringLiteral("SELECT id, line FROM history_owed ORDER BY rowid"),
        {}, QStringLiteral("read"));
    QList<OwedEvent> events;
    while (query.next())
        events.append({query.value(0).toString(), query.value(1).toByteArray()});
    return events;
}

void LabelLedger::eventsAppended(const QStringList& ids) {
    if (ids.isEmpty())
        return;
    // Not a step of a label: its failure leaves the events owed (appended once, by their ids)
    // and must not take the place of a failed write that a station fault's check repeats. Nor
    // is it synced: a strike a power cut loses only makes the next append skip those ids.
    exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    try {
        inTransaction([&] {
            for (const QString& id : ids)
                exec(QStringLiteral("DELETE FROM history_owed WHERE id = ?"), {id});
        });
    } catch (const JournalFailure&) {
        exec(QStringLiteral("PRAGMA synchronous=FULL"));
        throw;
    }
    exec(QStringLiteral("PRAGMA synchronous=FULL"));
}
