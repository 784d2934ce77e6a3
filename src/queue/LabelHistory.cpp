#include "queue/LabelHistory.h"

#include "app/Failure.h"
#include "app/FileLock.h"
#include "app/FileSync.h"
#include "app/FolderGroup.h"
#include "app/StationLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>
#include <chrono>

namespace {

using namespace std::chrono_literals;

// Long enough for another station's append of a request's events, short enough for a label.
constexpr auto lockWait = 2000ms;
const QString filePattern = QStringLiteral("LabelHistory *.tsv");
const QString columns = QStringLiteral(
    "id, time, station, account, printer, template, request, barcode, occurrence, event, "
    "copies, reprint, reason, confirmed");

QString newConnectionName() {
    static std::atomic<int> count{0};
    return QStringLiteral("quillon-label-history-%1").arg(++count);
}

QString fileFailure(const QString& path, const QString& failed, const QString& reason) {
    return QStringLiteral("The label history \"%1\" could not be %2: %3")
        .arg(QDir::toNativeSeparators(path), failed, reason);
}

QVariantList values(const LabelEvent& e, const QString& file) {
    return {e.id,           e.time,         e.station, e.account,    e.printer,
            e.templateName, e.request,      e.barcode, e.occurrence, LabelEvent::kindText(e.kind),
            e.copies,       int(e.reprint), e.reason,  e.confirmed,  file};
}

// The month a file name stands for; invalid for another name.
QDate monthOf(const QString& fileName) {
    return QDate::fromString(fileName.mid(13, 7) + QStringLiteral("-01"), Qt::ISODate);
}

} // namespace

LabelHistory::LabelHistory(const QString& indexPath)
    : m_indexPath(indexPath)
    , m_connection(newConnectionName()) {}

LabelHistory::~LabelHistory() {
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

QString LabelHistory::monthFileName(const QDate& day) {
    return QStringLiteral("LabelHistory %1.tsv").arg(day.toString(QStringLiteral("yyyy-MM")));
}

void LabelHistory::openIndex() {
    if (m_open)
        return;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (m_indexPath.isEmpty()) {
        db.setDatabaseName(QStringLiteral(":memory:"));
    } else {
        QDir().mkpath(QFileInfo(m_indexPath).absolutePath());
        db.setDatabaseName(m_indexPath);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    const auto fail = [this](const QString& reason) {
        return Failure(QStringLiteral("The label history's index %1 cannot be used: %2")
                           .arg(QDir::toNativeSeparators(m_indexPath), reason));
    };
    if (!db.open())
        throw fail(db.lastError().text());
    QSqlQuery query(db);
    // The index is only a copy of the month files: it is never synced, and rebuilt when lost.
    const QStringList setup{
        QStringLiteral("PRAGMA journal_mode=WAL"),
        QStringLiteral("PRAGMA synchronous=OFF"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS files (path TEXT PRIMARY KEY, size INTEGER NOT "
                       "NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS events (id TEXT NOT NULL UNIQUE, time TEXT, "
                       "station TEXT, account TEXT, printer TEXT, template TEXT, request TEXT, "
                       "barcode TEXT, occurrence INTEGER, event TEXT, copies INTEGER, reprint "
                       "INTEGER, reason TEXT, confirmed TEXT, file TEXT)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS events_request ON events (request)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS events_barcode ON events (barcode)"),
    };
    for (const QString& statement : setup) {
        if (!query.exec(statement))
            throw fail(query.lastError().text());
    }
    m_open = true;
}

void LabelHistory::update() {
    catchUp(-1);
}

bool LabelHistory::catchUp(qint64 maxBytes) {
    openIndex();
    if (m_folder.isEmpty())
        return false;
    const QStringList names =
        QDir(m_folder).entryList({filePattern}, QDir::Files | QDir::Readable, QDir::Name);
    bool advanced = false;
    for (const QString& name : names) {
        if (!monthOf(name).isValid())
            continue;
        try {
            advanced = updateFile(QDir(m_folder).filePath(name), maxBytes) || advanced;
        } catch (const Failure& failure) {
            if (maxBytes >= 0)
                throw; // the steps stop there, told once; questions read the rest
            // What was read of it before still answers; the next question tries again.
            qCWarning(lcPrint).noquote() << failure.description();
        }
        if (advanced && maxBytes >= 0)
            return true;
    }
    return advanced;
}

bool LabelHistory::updateFile(const QString& path, qint64 maxBytes) {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT size FROM files WHERE path = ?"));
    query.addBindValue(path);
    qint64 read = query.exec() && query.next() ? query.value(0).toLongLong() : 0;
    query.finish();
    const qint64 size = QFileInfo(path).size();
    if (size == read)
        return false;
    const QString name = QFileInfo(path).fileName();
    db.transaction();
    const bool replaced = size < read;
    if (replaced) {
        // Not grown: the file was replaced. Read it again whole.
        query.prepare(QStringLiteral("DELETE FROM events WHERE file = ?"));
        query.addBindValue(name);
        query.exec();
        read = 0;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(read)) {
        db.rollback();
        throw Failure(fileFailure(path, QStringLiteral("read"), file.errorString()));
    }
    QByteArray grown = maxBytes < 0 ? file.readAll() : file.read(maxBytes);
    if (grown.indexOf('\n') < 0 && !file.atEnd())
        grown += file.readAll(); // one line longer than a step
    const qsizetype end = grown.lastIndexOf('\n') + 1;
    if (end == 0 && !replaced) {
        db.rollback(); // nothing whole since: a torn last line
        return false;
    }
    query.prepare(QStringLiteral("INSERT OR IGNORE INTO events (") + columns +
                  QStringLiteral(", file) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    qsizetype from = 0;
    while (from < end) {
        const qsizetype to = grown.indexOf('\n', from);
        const QByteArrayView line = QByteArrayView(grown).sliced(from, to - from);
        if (const std::optional<LabelEvent> event = LabelEvent::fromLine(line)) {
            const QVariantList row = values(*event, name);
            for (int i = 0; i < row.size(); ++i)
                query.bindValue(i, row.at(i));
            query.exec();
        } else {
            qCWarning(lcPrint).noquote()
                << QStringLiteral("label history %1: a damaged line skipped at byte %2")
                       .arg(QDir::toNativeSeparators(path))
                       .arg(read + from);
        }
        from = to + 1;
    }
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO files (path, size) VALUES (?, ?)"));
    query.addBindValue(path);
    query.addBindValue(read + end);
    query.exec();
    db.commit();
    return true;
}

void LabelHistory::append(const QList<LabelEvent>& events) {
    openIndex();
    if (m_folder.isEmpty())
        throw Failure(QStringLiteral("The label history has no folder."));
    if (m_folderCheck)
        m_folderCheck();
    QMap<QString, QList<const LabelEvent*>> byMonth;
    for (const LabelEvent& event : events)
        byMonth[event.time.left(7)].append(&event);
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    for (auto month = byMonth.cbegin(); month != byMonth.cend(); ++month) {
        const QString path =
            QDir(m_folder).filePath(QStringLiteral("LabelHistory %1.tsv").arg(month.key()));
        QFile file(path);
        const bool made = !file.exists();
        if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
            throw Failure(fileFailure(path, QStringLiteral("opened"), file.errorString()));
        if (made)
            shareWithFolderGroup(file, m_folder);
        QString reason;
        if (!lockOpenFile(file, lockWait, &reason))
            throw Failure(fileFailure(
                path, QStringLiteral("locked"),
                reason.isEmpty() ? QStringLiteral("another station held it too long") : reason));
        // Under the lock the file holds every append but a torn one: read, then cut that.
        updateFile(path);
        QSqlQuery query(db);
        query.prepare(QStringLiteral("SELECT size FROM files WHERE path = ?"));
        query.addBindValue(path);
        const qint64 whole = query.exec() && query.next() ? query.value(0).toLongLong() : 0;
        if (file.size() > whole) {
            file.seek(whole);
            qCWarning(lcPrint).noquote()
                << QStringLiteral("label history %1: an unfinished last line removed: \"%2\"")
                       .arg(QDir::toNativeSeparators(path), QString::fromUtf8(file.read(1024)));
            if (!file.resize(whole))
                throw Failure(fileFailure(path, QStringLiteral("repaired"), file.errorString()));
        }
        QByteArray bytes;
        QList<const LabelEvent*> fresh;
        QSet<QString> ids;
        for (const LabelEvent* event : month.value()) {
            query.prepare(QStringLiteral("SELECT 1 FROM events WHERE id = ?"));
            query.addBindValue(event->id);
            if ((query.exec() && query.next()) || ids.contains(event->id))
                continue;
            ids.insert(event->id);
            fresh.append(event);
            bytes += event->line();
        }
        query.finish();
        if (bytes.isEmpty())
            continue;
        if (!file.seek(whole) || file.write(bytes) != bytes.size() || !syncToDisk(file)) {
            const QString why = file.errorString();
            file.resize(whole);
            syncToDisk(file);
            throw Failure(fileFailure(path, QStringLiteral("written"), why));
        }
        db.transaction();
        query.prepare(QStringLiteral("INSERT OR IGNORE INTO events (") + columns +
                      QStringLiteral(", file) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                     "?)"));
        for (const LabelEvent* event : fresh) {
            const QVariantList row = values(*event, QFileInfo(path).fileName());
            for (int i = 0; i < row.size(); ++i)
                query.bindValue(i, row.at(i));
            query.exec();
        }
        query.prepare(QStringLiteral("INSERT OR REPLACE INTO files (path, size) VALUES (?, ?)"));
        query.addBindValue(path);
        query.addBindValue(whole + bytes.size());
        query.exec();
        db.commit();
    }
}

QList<LabelEvent> LabelHistory::select(const QString& where, const QVariant& value) {
    update();
    return selectIndexed(where, value);
}

QList<LabelEvent> LabelHistory::ofBarcodes(const QStringList& barcodes) {
    update();
    QList<LabelEvent> events;
    QSet<QString> asked;
    for (const QString& barcode : barcodes) {
        if (!barcode.isEmpty() && !asked.contains(barcode)) {
            asked.insert(barcode);
            events += selectIndexed(QStringLiteral("barcode = ?"), barcode);
        }
    }
    return events;
}

QList<LabelEvent> LabelHistory::selectIndexed(const QString& where, const QVariant& value) {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT ") + columns + QStringLiteral(" FROM events WHERE ") +
                  where + QStringLiteral(" ORDER BY time, rowid"));
    query.addBindValue(value);
    if (!query.exec())
        throw Failure(QStringLiteral("The label history's index could not be read: %1")
                          .arg(query.lastError().text()));
    QList<LabelEvent> events;
    while (query.next()) {
        LabelEvent e;
        e.id = query.value(0).toString();
        e.time = query.value(1).toString();
        e.station = query.value(2).toString();
        e.account = query.value(3).toString();
        e.printer = query.value(4).toString();
        e.templateName = query.value(5).toString();
        e.request = query.value(6).toString();
        e.barcode = query.value(7).toString();
        e.occurrence = query.value(8).toInt();
        e.kind = LabelEvent::kindOf(query.value(9).toString()).value_or(LabelEvent::Kind::Printed);
        e.copies = query.value(10).toInt();
        e.reprint = query.value(11).toInt() != 0;
        e.reason = query.value(12).toString();
        e.confirmed = query.value(13).toString();
        events.append(e);
    }
    return events;
}

QList<LabelEvent> LabelHistory::ofRequest(const QString& request) {
    return select(QStringLiteral("request = ?"), request);
}

QList<LabelEvent> LabelHistory::ofBarcode(const QString& barcode) {
    return select(QStringLiteral("barcode = ?"), barcode);
}

void LabelHistory::forEachBetween(const QDate& first, const QDate& last,
                                  const std::function<void(const LabelEvent&)>& take) const {
    const QString from = first.toString(Qt::ISODate);
    const QString to = last.toString(Qt::ISODate) + QStringLiteral(" 99");
    for (QDate month(first.year(), first.month(), 1); month <= last; month = month.addMonths(1)) {
        const QString path = QDir(m_folder).filePath(monthFileName(month));
        QFile file(path);
        if (!file.exists())
            continue;
        if (!file.open(QIODevice::ReadOnly))
            throw Failure(fileFailure(path, QStringLiteral("read"), file.errorString()));
        const QByteArray content = file.readAll();
        QList<LabelEvent> events;
        qsizetype from_ = 0;
        for (qsizetype to_ = content.indexOf('\n'); to_ >= 0;
             from_ = to_ + 1, to_ = content.indexOf('\n', from_)) {
            std::optional<LabelEvent> event =
                LabelEvent::fromLine(QByteArrayView(content).sliced(from_, to_ - from_));
            if (event && event->time >= from && event->time <= to)
                events.append(std::move(*event));
        }
        // Events owed after a fault arrive later than their time.
        std::stable_sort(events.begin(), events.end(),
                         [](const LabelEvent& a, const LabelEvent& b) { return a.time < b.time; });
        for (const LabelEvent& event : events)
            take(event);
    }
}

void LabelHistory::removeExpired(int keptMonths, const QDate& today) {
    if (m_folder.isEmpty() || keptMonths < 1)
        return;
    const QDate keptFrom = QDate(today.year(), today.month(), 1).addMonths(-keptMonths);
    const QDir folder(m_folder);
    for (const QString& name : folder.entryList({filePattern}, QDir::Files)) {
        const QDate month = monthOf(name);
        if (month.isValid() && month < keptFrom && QFile::remove(folder.filePath(name)))
            qCInfo(lcPrint).noquote() << QStringLiteral("label history %1 removed: older than %2 "
                                                        "months")
                                             .arg(name)
                                             .arg(keptMonths);
    }
}
