#include "app/Startup.h"

#include "app/DbConnection.h"
#include "station/Messages.h"
#include "station/Station.h"

#include <QCoreApplication>
#include <QDebug>

int Main(DbConnection& connection, Messages& messages) {
    // The IT staff learn what is wrong with the settings on the standard error; the user sees
    // one message.
    for (const QString& problem : connectionSettingsProblems())
        qWarning().noquote() << "quillon:" << problem;
    if (!OpenConnection(connection)) {
        qWarning().noquote() << "quillon: database connection failed (settings from"
                             << connectionSettingsLocation() + QStringLiteral("):")
                             << connection.failureReason();
        messages.show(QStringLiteral("Unable to contact the database server."),
                      Messages::Icon::Warning);
        return exitNoDatabase;
    }
    Station station(connection.lab(), messages);
    if (!station.show())
        return exitNoPrintLog;
    return QCoreApplication::exec();
}
