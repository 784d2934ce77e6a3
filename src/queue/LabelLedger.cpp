#include "queue/LabelLedger.h"

#include "app/StationLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

} // namespace

LabelLedger::LabelLedger(const QString& path)
    : m_connection(newConnectionName()) {
    if (path.isEmpty() || open(path))
        return;
    // A damaged file is kept for whoever wants to look at it, never read again.
    const QString aside = path + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QSqlDatabase::removeDatabase(m_connection);
    m_connection = newConnectionName();
    if (QFile::rename(path, aside)) {
        QFile::remove(path + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
        qCWarning(lcPrint).noquote()
            << QStringLiteral("label ledger %1 could not be read; moved aside to %2 and started "
                              "anew: labels of unfinished requests may print twice")
                   .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(aside));
        if (open(path))
            return;
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection = newConnectionName();
    qCWarning(lcPrint).noquote()
        << QStringLiteral("label ledger %1 cannot be used; labels are remembered only until the "
                          "station ends")
               .arg(QDir::toNativeSeparators(path));
    open(QString());
}

LabelLedger::~LabelLedger() {
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

bool LabelLedger::open(const QString& path) {
    m_path = path;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (path.isEmpty()) {
        db.setDatabaseName(QStringLiteral(":memory:"));
    } else {
        QDir().mkpath(QFileInfo(path).absolutePath());
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    }
    if (!db.open())
        return false;
    QSqlQuery query(db);
    const QStringList setup{
        QStringLiteral("PRAGMA journal_mode=WAL"),
        QStringLiteral("PRAGMA synchronous=FULL"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS labels (request TEXT NOT NULL, barcode TEXT NOT "
                       "NULL, occurrence INTEGER NOT NULL, stage INTEGER NOT NULL, at TEXT NOT "
                       "NULL, PRIMARY KEY (request, barcode, occurrence)) WITHOUT ROWID"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS labels_at ON labels (at)"),
    };
    for (const QString& statement : setup) {
        if (!query.exec(statement))
            return false;
    }
    if (!query.exec(QStringLiteral("PRAGMA quick_check")) || !query.next() ||
        query.value(0).toString() != QLatin1String("ok"))
        return false;
    query.finish();
    purge();
    return true;
}

void LabelLedger::purge() {
    // Weeks of entries would only slow the station down: the list reaches back six hours.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (m_purged.isValid() && m_purged.secsTo(now) < 24 * 3600)
        return;
    m_purged = now;
    exec(QStringLiteral("DELETE FROM labels WHERE at < ?"),
         {now.addDays(-keptDays).toString(Qt::ISODate)});
}

void LabelLedger::exec(const QString& statement, const QVariantList& values) const {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(statement);
    for (const QVariant& value : values)
        query.addBindValue(value);
    // A ledger that cannot be written only costs a possible duplicate after a crash: the print
    // log still decides what is printed.
    if (!query.exec())
        qCWarning(lcPrint).noquote()
            << QStringLiteral("label ledger %1 not written: %2")
                   .arg(QDir::toNativeSeparators(m_path), query.lastError().text());
}

LabelLedger::Stage LabelLedger::stage(const QString& key, const QString& label) const {
    const auto [barcode, occurrence] = splitLabel(label);
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral(
        "SELECT stage FROM labels WHERE request = ? AND barcode = ? AND occurrence = ?"));
    query.addBindValue(key);
    query.addBindValue(barcode);
    query.addBindValue(occurrence);
    if (!query.exec() || !query.next())
        return Stage::Unknown;
    return static_cast<Stage>(query.value(0).toInt());
}

void LabelLedger::setStage(const QString& key, const QString& label, Stage stage) {
    purge();
    const auto [barcode, occurrence] = splitLabel(label);
    exec(QStringLiteral("INSERT OR REPLACE INTO labels (request, barcode, occurrence, stage, at) "
                        "VALUES (?, ?, ?, ?, ?)"),
         {key, barcode, occurrence, int(stage), nowText()});
}

int LabelLedger::recordedUnlogged(const QString& key) const {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("SELECT count(*) FROM labels WHERE request = ? AND stage = ?"));
    query.addBindValue(key);
    query.addBindValue(int(Stage::Recorded));
    return query.exec() && query.next() ? query.value(0).toInt() : 0;
}

void LabelLedger::markLogged(const QString& key, const QStringList& labels) {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    db.transaction();
    exec(QStringLiteral("UPDATE labels SET stage = ?, at = ? WHERE request = ? AND stage = ?"),
         {int(Stage::Logged), nowText(), key, int(Stage::Recorded)});
    for (const QString& label : labels) {
        const auto [barcode, occurrence] = splitLabel(label);
        exec(QStringLiteral("INSERT OR IGNORE INTO labels (request, barcode, occurrence, stage, "
                            "at) VALUES (?, ?, ?, ?, ?)"),
             {key, barcode, occurrence, int(Stage::PassedOver), nowText()});
    }
    db.commit();
}

bool LabelLedger::knows(const QString& key) const {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("SELECT 1 FROM labels WHERE request = ? LIMIT 1"));
    query.addBindValue(key);
    return query.exec() && query.next();
}

QStringList LabelLedger::unknown(const QString& key, const QStringList& labels) const {
    QStringList result;
    for (const QString& label : labels) {
        if (stage(key, label) == Stage::Unknown)
            result.append(label);
    }
    return result;
}
