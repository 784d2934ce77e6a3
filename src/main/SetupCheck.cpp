#include "main/SetupCheck.h"

#include "app/ConnectionSettings.h"
#include "app/DateTimeText.h"
#include "app/DbConnection.h"
#include "app/Failure.h"
#include "app/FilePlaces.h"
#include "app/LinkSecurity.h"
#include "app/OdbcConnectionString.h"
#include "app/OdbcDrivers.h"
#include "app/RowSet.h"
#include "labels/LabelPrinting.h"
#include "labels/LabelTemplate.h"
#include "labels/PrintJob.h"
#include "labels/SpoolerQueue.h"
#include "labels/TemplateRehearsal.h"
#include "queue/HistorySettings.h"
#include "queue/LabelHistory.h"
#include "queue/LeftListCheck.h"
#include "queue/PrintLog.h"
#include "queue/StandbySettings.h"
#include "station/StationSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

const QString guide = QStringLiteral("docs/administration.md");

QString printerRemedy(LabelDestination::Kind kind, const QString& target) {
    switch (kind) {
    case LabelDestination::Kind::ZplNetwork:
        return QStringLiteral("mend what the printer reports (paper, ribbon, head open, paused: "
                              "press its pause key) or its address in the template");
    case LabelDestination::Kind::ZplQueue:
    case LabelDestination::Kind::Printer:
        return SpoolerQueue::queueRemedy(target);
    case LabelDestination::Kind::DefaultPrinter:
        return SpoolerQueue::defaultPrinterRemedy();
    case LabelDestination::Kind::PdfFolder:
    case LabelDestination::Kind::ZplFolder:
        return QStringLiteral("make the folder %1 writable for this user").arg(target);
    }
    return QString();
}

QString connectionRemedy(const DbConnection& connection) {
    if (connection.loginRefused())
        return QStringLiteral("set the User and Password the lab database expects in %1 (see "
                              "\"Password change\" in %2).")
            .arg(connectionSettingsLocation(), guide);
    return QStringLiteral("check that the server answers from here and the Server, Database, "
                          "User and Password values in %1 (see %2).")
        .arg(connectionSettingsLocation(), guide);
}

} // namespace

bool SetupCheck::run() {
    checkSettings();
    if (checkDriver())
        checkDatabase();
    checkPrintLog();
    checkLabels();
    m_out.flush();
    return m_allPassed;
}

void SetupCheck::pass(const QString& what, const QString& detail) {
    m_out << "ok     " << what << ": " << detail << '\n';
}

void SetupCheck::warn(const QString& what, const QString& finding, const QString& remedy) {
    m_out << "WARN   " << what << ": " << finding << " Remedy: " << remedy << '\n';
}

void SetupCheck::fault(const QString& what, const QString& fault, const QString& remedy) {
    m_allPassed = false;
    m_out << "FAULT  " << what << ": " << fault << " Remedy: " << remedy << '\n';
}

SetupCheck::Finding SetupCheck::settingsFileFinding(const QString& file, bool hasPassword,
                                                    bool machineWide) {
    const QFileInfo info(file);
    const QString machine = FilePlaces::machineConnectionFile();
    if (!info.exists())
        return {QStringLiteral("neither %1 nor %2 exists.").arg(file, machine),
                QStringLiteral("write [Connection] with Server, Database, User and Password in "
                               "%1 for every account of the machine (root:quillon, mode 640), or "
                               "in %2 for this account alone (mode 600); see %3.")
                    .arg(machine, file, guide)};
    if (!info.isReadable())
        return {QStringLiteral("%1 cannot be read by this user.").arg(file),
                machineWide ? QStringLiteral("add this user to the group \"quillon\" and log in "
                                             "again (the file is root:quillon, mode 640).")
                            : QStringLiteral("make it this user's own: \"chown $(id -un) '%1' "
                                             "&& chmod 600 '%1'\".")
                                  .arg(file)};
    const QFile::Permissions others =
        machineWide ? QFile::Permissions(QFile::ReadOther) : QFile::ReadGroup | QFile::ReadOther;
    if (hasPassword && (info.permissions() & others))
        return {QStringLiteral("%1 holds the password and other users can read it.").arg(file),
                machineWide
                    ? QStringLiteral("run \"chown root:quillon '%1' && chmod 640 '%1'\".").arg(file)
                    : QStringLiteral("run \"chmod 600 '%1'\".").arg(file)};
    return {};
}

void SetupCheck::checkSettings() {
    const ConnectionSource source = connectionSettingsSource();
    if (!source.file.isEmpty()) {
        const Finding finding = settingsFileFinding(
            source.file, !ReadConnectionSettings().password.isEmpty(), source.machineWide);
        if (!finding.fault.isEmpty()) {
            fault(QStringLiteral("settings"), finding.fault, finding.remedy);
            return;
        }
    }
    const QStringList problems = connectionSettingsProblems();
    if (!problems.isEmpty()) {
        fault(QStringLiteral("settings"), problems.join(QStringLiteral("; ")),
              QStringLiteral("mend the lines named (see %1).").arg(guide));
        return;
    }
    pass(QStringLiteral("settings"), source.location);
}

bool SetupCheck::checkDriver() {
    if (ReadConnectionSettings().server.startsWith(embeddedServerPrefix))
        return true;
    const QString driver = OdbcConnectionString::chooseDriver(installedOdbcDrivers());
    if (driver.isEmpty()) {
        fault(QStringLiteral("ODBC driver"),
              QStringLiteral("no SQL Server ODBC driver is registered (\"odbcinst -q -d\" lists "
                             "no \"FreeTDS\")."),
              QStringLiteral("install the package tdsodbc and, as root, register its driver: "
                             "\"odbcinst -i -d -f /usr/share/tdsodbc/odbcinst.ini\" (see %1).")
                  .arg(guide));
        return false;
    }
    pass(QStringLiteral("ODBC driver"), driver);
    return true;
}

void SetupCheck::checkDatabase() {
    DbConnection connection;
    if (!OpenConnection(connection)) {
        fault(QStringLiteral("connection"), connection.failureReason(),
              connectionRemedy(connection));
        return;
    }
    const LinkSecurity link = LinkSecurity::of(
        ReadConnectionSettings(), OdbcConnectionString::chooseDriver(installedOdbcDrivers()));
    const QString loggedIn = QStringLiteral("logged in to the lab database; ") + link.description;
    if (link.encrypted && link.verified)
        pass(QStringLiteral("connection"), loggedIn);
    else
        warn(QStringLiteral("connection"), loggedIn + QLatin1Char('.'),
             QStringLiteral("set Encrypt=yes and CAFile in %1 (see \"Encrypted link to SQL "
                            "Server\" in %2).")
                 .arg(connectionSettingsLocation(), guide));
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
    checkLeftList(lab);
}

void SetupCheck::checkLeftList(LabDatabase& lab) {
    const int hours = HistorySettings::leftListHours();
    PrintLog log(printLogFolderFromEnvironment());
    LabelHistory history(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                         QStringLiteral("/label-history.db"));
    history.setFolder(log.folder());
    const QString what = QStringLiteral("left the list");
    try {
        const QList<LeftListCheck::Request> found = LeftListCheck(lab, log, history).find(hours);
        if (found.isEmpty()) {
            pass(what, QStringLiteral("no request of the last %1 hours left the list unprinted")
                           .arg(hours));
            return;
        }
        QStringList numbers;
        for (const LeftListCheck::Request& request : found)
            numbers.append(request.refNum + QStringLiteral(" (") + request.transDate + u')');
        warn(what,
             QStringLiteral("%1 request(s) of the last %2 hours left the list unprinted: %3.")
                 .arg(found.size())
                 .arg(hours)
                 .arg(numbers.join(QStringLiteral(", "))),
             QStringLiteral("print them by hand from the station's \"Unprinted\" list."));
    } catch (const Failure& failure) {
        warn(what, failure.description(),
             QStringLiteral("requests that left the list unprinted cannot be told until it "
                            "answers."));
    }
}

SetupCheck::Finding SetupCheck::printLogFinding(const QString& folder) {
    const QString name = QDir::toNativeSeparators(folder);
    const QFileInfo info(folder);
    const bool machineFolder = QDir::cleanPath(folder) == FilePlaces::machinePrintLogFolder;
    if (info.exists() && !info.isDir())
        return {QStringLiteral("\"%1\" is not a folder.").arg(name),
                QStringLiteral("move the file \"%1\" aside; the station then makes the folder.")
                    .arg(name)};
    if (!info.exists()) {
        // The station makes a missing folder at its start (one level): fine when it can. Tried,
        // not judged by QFileInfo::isWritable(), which reads no access list on Windows and says
        // yes to root on any file system mounted writable, /sys included.
        const QFileInfo parent(info.absolutePath());
        if (parent.isDir() &&
            QTemporaryDir(parent.filePath() + QStringLiteral("/.quillon-check-XXXXXX")).isValid())
            return {};
        if (machineFolder)
            return {QStringLiteral("The print log folder \"%1\" does not exist.").arg(name),
                    QStringLiteral("reinstall the package (apt-get install --reinstall quillon): "
                                   "it makes the folder, setgid and writable by the group "
                                   "\"quillon\".")};
        return {QStringLiteral("The print log folder \"%1\" does not exist and this user cannot "
                               "make it in \"%2\".")
                    .arg(name, QDir::toNativeSeparators(parent.filePath())),
                QStringLiteral("make the folder \"%1\" as a user who may, writable by every "
                               "account that runs the station.")
                    .arg(name)};
    }
    const PrintLog log(folder);
    try {
        // The station's own check after a print-log fault: the folder takes an append and
        // today's day file opens for reading and appending, nothing written.
        log.checkDayFile(log.dayFilePath(DateTimeText::now()));
    } catch (const Failure& failure) {
        if (machineFolder || info.group() == QLatin1String("quillon"))
            return {failure.description(),
                    QStringLiteral("add this user to the group \"quillon\" and log in again; the "
                                   "folder is the package's, setgid and group-writable (see %1).")
                        .arg(guide)};
        return {failure.description(),
                QStringLiteral("let every account that runs the station write the folder \"%1\" "
                               "and its day files.")
                    .arg(name)};
    }
    return {};
}

void SetupCheck::checkPrintLog() {
    const QString folder = printLogFolderFromEnvironment();
    const Finding finding = printLogFinding(folder);
    if (!finding.fault.isEmpty()) {
        fault(QStringLiteral("print log"), finding.fault, finding.remedy);
        return;
    }
    QString detail = QDir::toNativeSeparators(folder);
    if (!QFileInfo(folder).exists())
        detail += QStringLiteral(" (not made yet: the station makes it at its start)");
    if (const QString note = printLogFolderNote(folder); !note.isEmpty())
        detail += u"; " + note;
    pass(QStringLiteral("print log"), detail);
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
        const LeaseLock::Note note = lease->readNote();
        if (note.generation == 0 || lease->isFree(note.generation)) {
            pass(what, QStringLiteral("\"%1\" can be taken: this station would print "
                                      "automatically")
                           .arg(name));
        } else {
            const QString holder = note.holder;
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
