#pragma once

#include <QLoggingCategory>
#include <QString>

// The station's own log: what it did, one line each, for the lab's IT to read afterwards. Print
// jobs, recordings and print-log appends go to "quillon.print", refreshes and automatic runs to
// "quillon.queue", lookups by hand to "quillon.lookup", start-up to "quillon.startup"; failures are
// warnings. The print log itself is another thing and does not change.
Q_DECLARE_LOGGING_CATEGORY(lcStartup)
Q_DECLARE_LOGGING_CATEGORY(lcPrint)
Q_DECLARE_LOGGING_CATEGORY(lcQueue)
Q_DECLARE_LOGGING_CATEGORY(lcLookup)

namespace StationLog {

// Every message of the program, with its time, category and level, goes to the standard error
// (the journal, when the station runs as a service) and to the file at path. The file is
// appended to; when it would pass maxBytes it becomes path.1 (path.1 becomes path.2, and so on),
// and at most `keep` old files stay. A file that cannot be written costs only the file lines.
void install(const QString& path, qint64 maxBytes = qint64(1024) * 1024, int keep = 4);
// Back to Qt's own message handler; the file is closed.
void uninstall();
// The user's application data folder + "/quillon.log".
QString defaultPath();
// A message as the log writes it, without its line end.
QString line(QtMsgType type, const char* category, const QString& message);

} // namespace StationLog
