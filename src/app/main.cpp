#include "app/DbConnection.h"
#include "app/Startup.h"
#include "app/StationLog.h"
#include "app/Version.h"
#include "station/Messages.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

int main(int argc, char* argv[]) {
    // Answered before anything else: no display, no settings, no database.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quillon %s\n", quillonVersion);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("Usage: quillon [--version | --help]\n\n"
                        "The laboratory's specimen label station. It takes no other arguments:\n"
                        "its database connection comes from the per-user settings (section\n"
                        "[Connection] of ~/.config/quillon/ORVANT Current User.ini), its label\n"
                        "template is LabBarcodeLabel.rpt beside the program.\n");
            return 0;
        }
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillon"));
    QApplication::setApplicationVersion(QString::fromLatin1(quillonVersion));
    StationLog::install(StationLog::defaultPath());
    DbConnection connection;
    MessageBoxMessages messages;
    return Main(connection, messages);
}
