#include "app/CommandConsole.h"
#include "app/ConnectionSettings.h"
#include "app/DbConnection.h"
#include "app/ExitStatus.h"
#include "app/FilePlaces.h"
#include "app/StationLog.h"
#include "app/Version.h"
#include "main/HistoryReport.h"
#include "main/SetupCheck.h"
#include "main/Startup.h"
#include "station/Messages.h"
#include "station/StationApplication.h"
#include "station/StationSettings.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTextStream>
#include <algorithm>
#include <cstring>
#include <memory>

namespace {

const char* const kioskArgument = "--kiosk";

// Any argument but a lone "--kiosk" is a command answered on the standard output, with no window
// and no display.
int answerCommand(int argc, char* argv[]) {
    attachCallersConsole();
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
    parser.setApplicationDescription(
        QStringLiteral("The laboratory's specimen label station. Started without arguments it "
                       "opens its window;\nits database connection comes from the per-user "
                       "settings (%1)\nor, for an account without them, from %2;\nits label "
                       "template is %3.")
            // No machine file given: the account's own place, whether it holds values or not.
            .arg(connectionSettingsSource(QString()).location,
                 QDir::toNativeSeparators(FilePlaces::machineConnectionFile()),
                 QDir::toNativeSeparators(FilePlaces::templatePath())));
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
    const QCommandLineOption historyOption(
        QStringLiteral("history"),
        QStringLiteral("Print the lab's label history as CSV on the standard output: the events "
                       "of a request number or a barcode, or of the days from one date to "
                       "another (--history 2026-11-01 2026-11-30). Prints no label."));
    parser.addOption(historyOption);
    parser.addPositionalArgument(QStringLiteral("number|from to"),
                                 QStringLiteral("With --history: a request number or barcode, or "
                                                "two dates (yyyy-MM-dd)."));

    QTextStream out(stdout);
    QTextStream err(stderr);
    const qsizetype positional =
        parser.parse(QCoreApplication::arguments()) ? parser.positionalArguments().size() : 0;
    const bool historyAsked = parser.isSet(historyOption) && (positional == 1 || positional == 2);
    if (!parser.errorText().isEmpty() || (positional != 0 && !historyAsked) ||
        (parser.isSet(historyOption) && !historyAsked) || parser.isSet(kioskOption)) {
        err << "quillon: "
            << (!parser.errorText().isEmpty() ? parser.errorText()
                : parser.isSet(kioskOption)   ? QStringLiteral("--kiosk takes no other argument.")
                : parser.isSet(historyOption)
                    ? QStringLiteral("--history takes a request number, a barcode, or two dates.")
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
    if (historyAsked) {
        QFile standardOutput;
        if (!standardOutput.open(stdout, QIODevice::WriteOnly))
            return exitCheckFailed;
        QString error;
        const int status =
            HistoryReport(printLogFolderFromEnvironment(),
                          QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                              QStringLiteral("/label-history.db"))
                .run(parser.positionalArguments(), standardOutput, error);
        if (!error.isEmpty())
            err << "quillon: " << error << '\n';
        return status;
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
