#include "app/Startup.h"

#include "app/DbConnection.h"
#include "station/Messages.h"
#include "station/Station.h"

#include <QCoreApplication>
#include <QDebug>

int Main(DbConnection& connection, Messages& messages) {
    if (!OpenConnection(connection)) {
        // The user sees one message; the cause goes to the standard error for the IT staff.
        qWarning().noquote() << "quillon: database connection failed:"
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
