// quillon-labdb: makes reference laboratory database files.
//   quillon-labdb demo <path> [--requests N] [--replace]

#include "LabDbBuilder.h"

#include "app/Failure.h"
#include "app/Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillon-labdb"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(quillonVersion));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Creates a reference laboratory database file.\n"
                       "demo <path>: the demo requests of the last six hours, dated from now."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("demo"));
    parser.addPositionalArgument(QStringLiteral("path"), QStringLiteral("the file to create"));
    const QCommandLineOption requestsOption(
        QStringLiteral("requests"),
        QStringLiteral("Instead of the demo set, N generated requests, one every three minutes "
                       "back from now."),
        QStringLiteral("N"));
    const QCommandLineOption replaceOption(QStringLiteral("replace"),
                                           QStringLiteral("Replace an existing file."));
    parser.addOption(requestsOption);
    parser.addOption(replaceOption);
    parser.process(app);

    QTextStream err(stderr);
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() != 2 || arguments.at(0) != QLatin1String("demo")) {
        err << parser.helpText();
        return 2;
    }
    const QString& path = arguments.at(1);
    int requests = 0;
    if (parser.isSet(requestsOption)) {
        bool ok = false;
        requests = parser.value(requestsOption).toInt(&ok);
        if (!ok || requests < 1) {
            err << "--requests needs a whole number of at least 1.\n";
            return 2;
        }
    }

    try {
        if (QFileInfo::exists(path)) {
            if (!parser.isSet(replaceOption)) {
                err << path << " exists already; give --replace to replace it.\n";
                return 1;
            }
            if (!QFile::remove(path)) {
                err << path << " cannot be removed.\n";
                return 1;
            }
        }
        LabDbBuilder::create(path);
        LabDbBuilder builder(path);
        const QDateTime now = QDateTime::currentDateTime();
        if (requests > 0)
            builder.generate(requests, now);
        else
            builder.fillDemo(now);
    } catch (const Failure& failure) {
        err << failure.description() << '\n';
        return 1;
    }
    QTextStream(stdout) << "Created " << path << '\n';
    return 0;
}
