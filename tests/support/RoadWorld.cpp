#include "RoadWorld.h"

#include "StationTestSupport.h"
#include "TdsTestServer.h"
#include "app/SqliteLabDatabase.h"
#include "lookup/RequestFinder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

RoadWorld::RoadWorld(const QString& f, const QString& lab)
    : folder(f)
    , labPath(lab.isEmpty() ? f + QStringLiteral("/lab.db") : lab) {
    if (TdsTestServer::road())
        server = std::make_unique<TdsTestServer>(labPath);
    if (!connection.open(server
                             ? server->settings()
                             : ConnectionSettings{QStringLiteral("sqlite:") + labPath, {}, {}, {}}))
        qFatal("cannot open the test lab database: %s", qPrintable(connection.failureReason()));
    core = std::make_unique<StationCore>(connection.lab(), activity, notices,
                                         folder + QStringLiteral("/PrintLog"),
                                         folder + QStringLiteral("/label-ledger.db"));
    QDir().mkpath(core->log.folder());
    core->printing.setTemplatePath(folder + QStringLiteral("/LabBarcodeLabel.rpt"));
}

namespace {

QString withPdfTemplate(TestWorld& world) {
    world.writePdfTemplate();
    return world.path();
}

} // namespace

RoadWorld::RoadWorld(TestWorld& world)
    : RoadWorld(withPdfTemplate(world)) {}

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
    return printLoaded(rowDate, beforeEntry);
}

PrintJobOutcome RoadWorld::printLoaded(const QString& rowDate,
                                       const std::function<void(int)>& beforeEntry) {
    int printed = 0;
    PrintJobOrder order;
    order.key = request.LookedUpNumber;
    order.request = &request;
    order.entries = &entries;
    order.copiesText = [&] {
        if (beforeEntry)
            beforeEntry(++printed);
        return QStringLiteral("1");
    };
    order.cycleEntry = PrintLog::Entry{order.key, rowDate};
    order.blankBarcode = [&](int entry) {
        blanks.append(order.key + QLatin1Char('/') + QString::number(entry));
    };
    return core->road.print(order);
}

AutoPrintCycle::Summary RoadWorld::refreshAndPrint() {
    core->recent.LoadRecentRequests();
    return core->cycle.PrintPendingRequests(true);
}

void RoadWorld::sql(const QString& statement, const QString& file) const {
    const QString name = QStringLiteral("road-world-admin");
    {
        QSqlDatabase db = QSqlDatabase::contains(name)
                              ? QSqlDatabase::database(name)
                              : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file.isEmpty() ? labPath : file);
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
    const QString logFolder = core->log.folder();
    const QString aside = logFolder + QStringLiteral(".aside");
    if (broken && !QFileInfo::exists(aside)) {
        QDir().rename(logFolder, aside);
        QFile file(logFolder);
        file.open(QIODevice::WriteOnly);
    } else if (!broken && QFileInfo::exists(aside)) {
        QFile::remove(logFolder);
        QDir().rename(aside, logFolder);
    }
}

bool RoadWorld::holdLock(bool locked) {
    const QString name = QStringLiteral("road-world-lock");
    if (locked == m_locked)
        return true;
    if (locked) {
        bool taken = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(labPath);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
            taken = db.open() && QSqlQuery(db).exec(QStringLiteral("BEGIN EXCLUSIVE"));
        }
        if (!taken)
            QSqlDatabase::removeDatabase(name);
        m_locked = taken;
        return taken;
    }
    m_locked = false;
    {
        QSqlDatabase db = QSqlDatabase::database(name);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return true;
}

void RoadWorld::setBusyTimeout(int milliseconds) {
    if (server)
        return; // the server's own lock wait
    QSqlDatabase db = QSqlDatabase::database(QString(DbConnection::connectionName), false);
    db.close();
    db.setConnectOptions(SqliteLabDatabase::connectOptions(milliseconds));
    if (!db.open())
        qFatal("cannot reopen the test lab database");
}
