#include "RoadWorld.h"

#include "StationTestSupport.h"
#include "lookup/RequestFinder.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

RoadWorld::RoadWorld(TestWorld& w)
    : world(w)
    , log(w.printLogFolder()) {
    world.storeEmbeddedSettings();
    if (!OpenConnection(connection))
        qFatal("cannot open the test lab database: %s", qPrintable(connection.failureReason()));
    QDir().mkpath(log.folder());
    printing.setTemplatePath(world.writePdfTemplate());
    // As the station wires them.
    faults.setCheck(StationFaults::Source::Database, [this] { connection.lab().checkWritable(); });
    faults.setCheck(StationFaults::Source::PrintLog, [this] { log.checkWritable(); });
    faults.setCheck(StationFaults::Source::Printer, [this] { printing.checkReady(); });
    road = std::make_unique<PrintRoad>(connection.lab(), printing, log, progress, faults, activity);
}

RoadWorld::~RoadWorld() {
    holdLock(false);
}

PrintJobOutcome RoadWorld::printRequest(const QString& number, const QString& rowDate,
                                        const std::function<void(int)>& beforeEntry) {
    const FoundRequest found = findRequest(connection.lab(), number, activity);
    if (found.outcome != LookupOutcome::Loaded)
        qFatal("the test request %s was not found", qPrintable(number));
    request = found.request;
    entries.clear();
    for (const QString& entry : found.entries)
        entries.appendEntry(entry);
    entries.tickAll();
    int printed = 0;
    PrintJobOrder order;
    order.key = number;
    order.request = &request;
    order.entries = &entries;
    order.copiesText = [&] {
        if (beforeEntry)
            beforeEntry(++printed);
        return QStringLiteral("1");
    };
    order.cycleEntry = PrintLog::Entry{number, rowDate};
    order.blankBarcode = [&](int entry) {
        blanks.append(number + QLatin1Char('/') + QString::number(entry));
    };
    return road->print(order);
}

void RoadWorld::sql(const QString& statement) const {
    const QString name = QStringLiteral("road-world-admin");
    {
        QSqlDatabase db = QSqlDatabase::contains(name)
                              ? QSqlDatabase::database(name)
                              : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(world.labPath());
        if (!db.isOpen() && !db.open())
            qFatal("cannot open the test lab database");
        QSqlQuery query(db);
        if (!query.exec(statement))
            qFatal("%s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void RoadWorld::breakLogFolder(bool broken) const {
    const QString folder = world.printLogFolder();
    const QString aside = folder + QStringLiteral(".aside");
    if (broken) {
        QDir().rename(folder, aside);
        QFile file(folder);
        file.open(QIODevice::WriteOnly);
    } else {
        QFile::remove(folder);
        QDir().rename(aside, folder);
    }
}

void RoadWorld::holdLock(bool locked) {
    const QString name = QStringLiteral("road-world-lock");
    if (locked == m_locked)
        return;
    m_locked = locked;
    if (locked) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(world.labPath());
        QSqlQuery query(db);
        if (!db.open() || !query.exec(QStringLiteral("BEGIN EXCLUSIVE")))
            qFatal("cannot lock the test lab database");
        return;
    }
    {
        QSqlDatabase db = QSqlDatabase::database(name);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void RoadWorld::setBusyTimeout(int milliseconds) {
    QSqlDatabase db = QSqlDatabase::database(QString(DbConnection::connectionName), false);
    db.close();
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(milliseconds));
    if (!db.open())
        qFatal("cannot reopen the test lab database");
}
