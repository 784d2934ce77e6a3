#pragma once

#include <QString>

// The one setting the station writes itself: "Auto Print Incoming Requests".
namespace AutoPrintSetting {

// The stored text's leading whole number; a text without one reads 0. Absent: 1.
int read();
void write(int value);
int parseValue(const QString& stored);

} // namespace AutoPrintSetting

// The folder of the daily print log: the part of the system folder variable "windir" before its
// first backslash, followed by "\PrintLog" ("C:\Windows" gives "C:\PrintLog"). Where paths have
// no drive letters, backslashes read as folder separators. With "windir" unset (Linux), the
// machine-wide folder the package makes, unless an older station's "/PrintLog" exists: a log in
// use is kept where it is.
QString printLogFolderFor(const QString& windir, bool olderFolderExists = false);
QString printLogFolderFromEnvironment();
// Why the print log is where it is when that is not the default, for the station log; else "".
QString printLogFolderNote(const QString& folder);

// Creates the folder (one level) when it does not exist. Throws Failure naming the folder and the
// reason when it cannot be created.
void ensurePrintLogFolder(const QString& folder);
