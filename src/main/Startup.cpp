#include "main/Startup.h"

#include "app/ConnectionSettings.h"
#include "app/DbConnection.h"
#include "app/Failure.h"
#include "app/StationLog.h"
#include "app/Version.h"
#include "main/StartupRetry.h"
#include "station/Messages.h"
#include "station/StartupWaitWindow.h"
#include "station/Station.h"
#include "station/StationSettings.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>

namespace {

const QString noContact = QStringLiteral("Unable to contact the database server.");

// Opens the connection from the settings as they are now; the fault for the user, or "".
QString openDatabase(DbConnection& connection) {
    // The IT staff learn what is wrong with the settings on the standard error; the user sees
    // one message.
    for (const QString& problem : connectionSettingsProblems())
        qCWarning(lcStartup).noquote() << problem;
    if (OpenConnection(connection))
        return QString();
    qCWarning(lcStartup).noquote()
        << "database connection failed (settings from"
        << connectionSettingsLocation() + QStringLiteral("):") << connection.failureReason();
    // A refused login is mended in the settings, not in the network: say which.
    if (connection.loginRefused())
        return QStringLiteral("The lab database refused the login (%1). The password or user "
                              "name in %2 may be out of date.")
            .arg(connection.failureReason(), connectionSettingsLocation());
    return noContact;
}

// A kiosk's start-up try: the settings read again, the database, the print-log folder.
QString kioskTry(DbConnection& connection) {
    QString fault = openDatabase(connection);
    if (fault == noContact)
        fault += QLatin1Char('\n') + connection.failureReason();
    if (!fault.isEmpty())
        return fault;
    try {
        ensurePrintLogFolder(printLogFolderFromEnvironment());
    } catch (const Failure& failure) {
        connection.close();
        return failure.description();
    }
    return QString();
}

// True once a try succeeded; false when someone chose Exit first.
bool waitForStart(DbConnection& connection, StartupWaitWindow& window) {
    StartupRetry retry([&connection] { return kioskTry(connection); },
                       [] { return QDateTime::currentDateTime(); });
    QObject::connect(&retry, &StartupRetry::waiting, &window, &StartupWaitWindow::showFault);
    retry.tryNow();
    if (retry.succeeded())
        return true;
    QEventLoop loop;
    QObject::connect(&retry, &StartupRetry::ready, &loop, [&loop] { loop.exit(1); });
    QObject::connect(&window, &StartupWaitWindow::exitChosen, &loop, [&loop] { loop.exit(0); });
    return loop.exec() == 1;
}

} // namespace

int Main(DbConnection& connection, Messages& messages, StartMode mode) {
    qCInfo(lcStartup).noquote() << "quillon" << quillonVersion
                                << (mode == StartMode::Kiosk ? "starting as a kiosk" : "starting");
    StartupWaitWindow waitWindow;
    if (mode == StartMode::Kiosk) {
        if (!waitForStart(connection, waitWindow)) {
            qCInfo(lcStartup) << "Exit chosen while waiting to start";
            return exitNormal;
        }
    } else if (const QString fault = openDatabase(connection); !fault.isEmpty()) {
        messages.show(fault, Messages::Icon::Warning);
        return exitNoDatabase;
    }
    Station station(connection.lab(), messages);
    if (!station.show()) {
        qCWarning(lcStartup) << "the print-log folder cannot be made; ending with status"
                             << exitNoPrintLog;
        return exitNoPrintLog;
    }
    // Hidden only now, so that the program always has a window open.
    waitWindow.hide();
    qCInfo(lcStartup).noquote() << "station ready; print log in" << station.printLogFolder();
    if (const QString note = printLogFolderNote(station.printLogFolder()); !note.isEmpty())
        qCInfo(lcStartup).noquote() << note;
    return QCoreApplication::exec();
}
