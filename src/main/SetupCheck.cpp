#include "main/SetupCheck.h"

#include "app/ConnectionSettings.h"
#include "app/DateTimeText.h"
#include "app/DbConnection.h"
#include "app/Failure.h"
#include "app/RowSet.h"
#include "labels/LabelPrinting.h"
#include "labels/LabelTemplate.h"
#include "labels/PrintJob.h"
#include "labels/TemplateRehearsal.h"
#include "queue/PrintLog.h"
#include "queue/StandbySettings.h"
#include "station/StationSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString guide = QStringLiteral("docs/administration.md");

QString printerRemedy(LabelDestination::Kind kind, const QString& target) {
    switch (kind) {
    case LabelDestination::Kind::ZplNetwork:
        return QStringLiteral("mend what the printer reports (paper, ribbon, head open, paused: "
                              "press its pause key) or its address in the template");
    case LabelDestination::Kind::ZplQueue:
    case LabelDestination::Kind::Printer:
        return QStringLiteral("start the queue with \"cupsenable %1\" and mend what "
                              "\"lpstat -p %1\" reports")
            .arg(target);
    case LabelDestination::Kind::DefaultPrinter:
        return QStringLiteral("set a default printer (lpadmin -d <queue>) or name one in the "
                              "template");
    case LabelDestination::Kind::PdfFolder:
    case LabelDestination::Kind::ZplFolder:
        return QStringLiteral("make the folder %1 writable for this user").arg(target);
    }
    return QString();
}

} // namespace

bool SetupCheck::run() {
    checkSettings();
    checkDatabase();
    checkPrintLog();
    checkLabels();
    m_out.flush();
    return m_allPassed;
}

void SetupCheck::pass(const QString& what, const QString& detail) {
    m_out << "ok     " << what << ": " << detail << '\n';
}

void SetupCheck::fault(const QString& what, const QString& fault, const QString& remedy) {
    m_allPassed = false;
    m_out << "FAULT  " << what << ": " << fault << " Remedy: " << remedy << '\n';
}

QString SetupCheck::settingsFileFault(const QString& file, bool hasPassword) {
    const QFileInfo info(file);
    if (!info.exists())
        return QStringLiteral("%1 does not exist.").arg(file);
    if (!info.isReadable())
        return QStringLiteral("%1 cannot be read by this user.").arg(file);
    if (hasPassword && (info.permissions() & (QFile::ReadGroup | QFile::ReadOther)))
        return QStringLiteral("%1 holds the password and other users can read it.").arg(file);
    return QString();
}

void SetupCheck::checkSettings() {
    const QString file = connectionSettingsFile();
    if (!file.isEmpty()) {
        const QString problem =
            settingsFileFault(file, !ReadConnectionSettings().password.isEmpty());
        if (!problem.isEmpty()) {
            fault(QStringLiteral("settings"), problem,
                  QStringLiteral("write [Connection] with Server, Database, User and Password "
                                 "there, owned by the station's user, and run \"chmod 600 '%1'\".")
                      .arg(file));
            return;
        }
    }
    const QStringList problems = connectionSettingsProblems();
    if (!problems.isEmpty()) {
        fault(QStringLiteral("settings"), problems.join(QStringLiteral("; ")),
              QStringLiteral("mend the lines named (see %1).").arg(guide));
        return;
    }
    pass(QStringLiteral("settings"), connectionSettingsLocation());
}

void SetupCheck::checkDatabase() {
    DbConnection connection;
    if (!OpenConnection(connection)) {
        fault(QStringLiteral("connection"), connection.failureReason(),
              QStringLiteral("check that the server answers from here and the Server, Database, "
                             "User and Password values in %1 (see %2).")
                  .arg(connectionSettingsLocation(), guide));
        return;
    }
    pass(QStringLiteral("connection"), QStringLiteral("logged in to the lab database"));
    LabDatabase& lab = connection.lab();
    try {
        const RowSet recent = lab.recentRequests();
        const QString number =
            recent.isEmpty() ? QStringLiteral("0") : recent.value(0, QStringLiteral("RefNum"));
        lab.requestExams(number);
        lab.getRequests(number, 3);
        pass(QStringLiteral("reads"), QStringLiteral("the request list and a request's labels"));
    } catch (const Failure& failure) {
        fault(QStringLiteral("reads"), failure.description(),
              QStringLiteral("grant the login the rights listed in %1.").arg(guide));
    }
    try {
        lab.checkWritable();
        pass(QStringLiteral("write check"), QStringLiteral("a barcode record, rolled back"));
    } catch (const Failure& failure) {
        fault(QStringLiteral("write check"), failure.description(),
              QStringLiteral("grant the login EXECUTE on the barcode procedures (see %1); for "
                             "the embedded database, let this user write the file and its "
                             "folder.")
                  .arg(guide));
    }
    checkLease(lab);
}

QString SetupCheck::printLogFault(const QString& folder) {
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("The print log folder \"%1\" does not exist.")
            .arg(QDir::toNativeSeparators(folder));
    const PrintLog log(folder);
    try {
        // The station's own check after a print-log fault: the folder takes an append and
        // today's day file opens for reading and appending, nothing written.
        log.checkDayFile(log.dayFilePath(DateTimeText::now()));
    } catch (const Failure& failure) {
        return failure.description();
    }
    return QString();
}

void SetupCheck::checkPrintLog() {
    const QString folder = printLogFolderFromEnvironment();
    const QString problem = printLogFault(folder);
    if (problem.isEmpty()) {
        const QString note = printLogFolderNote(folder);
        pass(QStringLiteral("print log"),
             QDir::toNativeSeparators(folder) + (note.isEmpty() ? QString() : u"; " + note));
        return;
    }
    fault(QStringLiteral("print log"), problem,
          QStringLiteral("add this user to the group \"quillon\" and log in again; the folder "
                         "is the package's, setgid and group-writable (see %1).")
              .arg(guide));
}

void SetupCheck::checkLabels() {
    LabelPrinting printing;
    const QString path = printing.templatePath();
    const QString name = QDir::toNativeSeparators(path);
    // The same faults as "quillon-label check": reading the template, then drawing it.
    const LabelTemplateCheck result = TemplateRehearsal::check(path, PrintJob::pdfResolution);
    if (!result.faults.empty()) {
        const LabelTemplateFault& first = result.faults.front();
        fault(QStringLiteral("template"),
              name + QStringLiteral(": ") +
                  (first.place.isEmpty() ? QString() : first.place + QStringLiteral(": ")) +
                  first.what + QLatin1Char('.'),
              QStringLiteral("mend it; \"quillon-label check %1\" lists every fault.").arg(name));
        return;
    }
    pass(QStringLiteral("template"), name);
    const LabelDestination destination = LabelDestination::fromTemplate(*result.label);
    try {
        printing.checkReady();
        pass(QStringLiteral("printer"), destination.target().isEmpty()
                                            ? QStringLiteral("the default printer")
                                            : destination.target());
    } catch (const Failure& failure) {
        fault(QStringLiteral("printer"), failure.description(),
              printerRemedy(destination.kind(), destination.target()) + QLatin1Char('.'));
    }
}

void SetupCheck::checkLease(LabDatabase& lab) {
    const QString name = StandbySettings::leaseName();
    if (name.isEmpty())
        return;
    const QString what = QStringLiteral("lease");
    try {
        const std::unique_ptr<LeaseLock> lease = lab.lease(name, printLogFolderFromEnvironment());
        if (lease->isFree()) {
            pass(what, QStringLiteral("\"%1\" can be taken: this station would print "
                                      "automatically")
                           .arg(name));
        } else {
            const QString holder = lease->holder();
            pass(what,
                 QStringLiteral("\"%1\" is held by %2: this station would stand by")
                     .arg(name, holder.isEmpty() ? QStringLiteral("another station") : holder));
        }
    } catch (const Failure& failure) {
        fault(what, failure.description(),
              QStringLiteral("for SQL Server, the login needs only the database's public role; for "
                             "the embedded database, let this user write the database's folder "
                             "(see %1).")
                  .arg(guide));
    }
}
