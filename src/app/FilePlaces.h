#pragma once

#include <QString>

// Where an installed station keeps its files. The build tree keeps everything beside the
// executable; a Linux package puts the lab's configuration under /etc/quillon and the shared
// print log under /var/lib/quillon, whatever prefix the build was configured with; on Windows
// the template lives beside quillon.exe, the machine's settings under %ProgramData%\Quillon and
// the print log in C:\PrintLog (from windir). What differs is in FilePlacesPosix.cpp and
// FilePlacesWindows.cpp.
namespace FilePlaces {

inline constexpr QLatin1StringView templateName{"LabBarcodeLabel.rpt"};
// The machine's connection settings, read for an account that has none of its own.
inline constexpr QLatin1StringView connectionFileName{"connection.ini"};
inline constexpr QLatin1StringView systemConfigFolder{"/etc/quillon"};
// Made by the package: setgid, writable by the group "quillon".
inline constexpr QLatin1StringView machinePrintLogFolder{"/var/lib/quillon/PrintLog"};
// Where stations installed before the machine-wide folder kept their print log.
inline constexpr QLatin1StringView olderPrintLogFolder{"/PrintLog"};

// The machine's own settings folder: /etc/quillon; %ProgramData%\Quillon on Windows.
QString machineFolder();

// The label template: beside the executable when one is there, otherwise (Linux) the one under
// /etc/quillon.
QString templatePath();
QString templatePathFor(const QString& programFolder, bool besideExists);

// The machine's connection file: beside the executable when one is there (build trees),
// otherwise the machine folder's: /etc/quillon/connection.ini (root:quillon, mode 640: the
// password is in it), %ProgramData%\Quillon\connection.ini on Windows.
QString machineConnectionFile();

// What a relative folder in the template's printer ("pdf:labels") is read against: the template's
// own folder, except for the machine's template under /etc, where no user may write; then the
// user's data folder ($XDG_DATA_HOME/Quillon, the station log's folder).
// On Windows: the template's folder when the account may write there, else the data folder.
QString labelBaseFolder(const QString& templateFolder);

// The print log's folder where windir is not set: the machine's folder (or the older one when it
// is there); empty on Windows, where the folder follows windir whatever it holds.
QString printLogFolderWithoutWindir(bool olderFolderExists);
// A folder written with backslashes (as windir gives it) in the system's own form.
QString fromWindowsPath(QString path);

} // namespace FilePlaces
