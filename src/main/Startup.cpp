#include "main/Startup.h"

#include "app/DbConnection.h"
#include "app/StationLog.h"
#include "app/Version.h"
#include "station/Messages.h"
#include "station/Station.h"
#include "station/StationSettings.h"

#include <QCoreApplication>
#include <QDebug>

int Main(DbConnection& connection, Messages& messages) {
    // The IT staff learn what is wrong with the settings on the standard error; the user sees
    // one message.
    qCInfo(lcStartup).noquote() << "quillon" << quillonVersion << "starting";
    for (const QString& problem : connectionSettingsProblems())
        qCWarning(lcStartup).noquote() << problem;
    if (!OpenConnection(connection)) {
        qCWarning(lcStartup).noquote()
            << "database connection failed (settings from"
            << connectionSettingsLocation() + QStringLiteral("):") << connection.failureReason();
        messages.show(QStringLiteral("Unable to contact the database server."),
                      Messages::Icon::Warning);
        return exitNoDatabase;
    }
    Station station(connection.lab(), messages);
    if (!station.show()) {
        qCWarning(lcStartup) << "the print-log folder cannot be made; ending with status"
                             << exitNoPrintLog;
        return exitNoPrintLog;
    }
    qCInfo(lcStartup).noquote() << "station ready; print log in" << station.printLogFolder();
    if (const QString note = printLogFolderNote(station.printLogFolder()); !note.isEmpty())
        qCInfo(lcStartup).noquote() << note;
    return QCoreApplication::exec();
}
