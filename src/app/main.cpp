#include "app/DbConnection.h"
#include "app/Startup.h"
#include "station/Messages.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillon"));
    DbConnection connection;
    MessageBoxMessages messages;
    return Main(connection, messages);
}
