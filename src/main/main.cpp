#include "app/DbConnection.h"
#include "app/ExitStatus.h"
#include "app/StationLog.h"
#include "app/Version.h"
#include "main/SetupCheck.h"
#include "main/Startup.h"
#include "station/Messages.h"
#include "station/StationApplication.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QTextStream>
#include <algorithm>
#include <cstring>
#include <memory>

namespace {

const char* const kioskArgument = "--kiosk";

// Any argument but a lone "--kiosk" is a command answered on the standard output, with no window
// and no display.
int answerCommand(int argc, char* argv[]) {
    const bool check = std::any_of(
        argv + 1, argv + argc, [](const char* arg) { return std::strcmp(arg, "--check") == 0; });
    // The template and printer checks need fonts and printers, never a screen.
    if (check)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> application =
        check ? std::make_unique<QGuiApplication>(argc, argv)
              : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillon"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(quillonVersion));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The laboratory's specimen label station. Started without arguments it opens its window;\n"
        "its database connection comes from the per-user settings (section [Connection] of\n"
        "~/.config/quillon/ORVANT Current User.ini) or, for an account without them, from\n"
        "/etc/quillon/connection.ini; its label template is LabBarcodeLabel.rpt beside the\n"
        "program or in /etc/quillon."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption checkOption(
        QStringLiteral("check"),
        QStringLiteral("Check the set-up without a window (settings, connection and rights, print "
                       "log folder, template, printer), one line each; exit status 0 when all "
                       "pass, 1 otherwise. Changes nothing, prints no label."));
    parser.addOption(checkOption);
    const QCommandLineOption kioskOption(
        QStringLiteral("kiosk"),
        QStringLiteral("Run the station unattended (the kiosk entry): a start-up fault is shown in "
                       "a window and tried again by itself until it is gone or Exit is chosen. "
                       "Takes no other argument."));
    parser.addOption(kioskOption);

    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!parser.parse(QCoreApplication::arguments()) || !parser.positionalArguments().isEmpty() ||
        parser.isSet(kioskOption)) {
        err << "quillon: "
            << (!parser.errorText().isEmpty() ? parser.errorText()
                : parser.isSet(kioskOption)   ? QStringLiteral("--kiosk takes no other argument.")
                                              : QStringLiteral("it takes no arguments."))
            << "\nTry \"quillon --help\".\n";
        return exitUsage;
    }
    if (parser.isSet(helpOption)) {
        out << parser.helpText();
        return exitNormal;
    }
    if (parser.isSet(versionOption)) {
        out << "quillon " << quillonVersion << '\n';
        return exitNormal;
    }
    SetupCheck setupCheck(out);
    return setupCheck.run() ? exitNormal : exitCheckFailed;
}

} // namespace

int main(int argc, char* argv[]) {
    const bool kiosk = argc == 2 && std::strcmp(argv[1], kioskArgument) == 0;
    if (argc > 1 && !kiosk)
        return answerCommand(argc, argv);
    const std::unique_ptr<QCoreApplication> application = makeStationApplication(argc, argv);
    StationLog::install(StationLog::defaultPath());
    DbConnection connection;
    MessageBoxMessages messages;
    return Main(connection, messages, kiosk ? StartMode::Kiosk : StartMode::Attended);
}
