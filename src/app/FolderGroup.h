#pragma once

#include <QString>

class QFile;

// A file a station makes in a folder every station account of the lab shares (the print-log
// folder's day files, the lease's files) is made writable by the folder's group, whatever the
// account's umask, when the folder is group-writable and the file took its group (the package's
// folder is setgid): every bench account then appends to, or replaces, the files of the others.
// A refusal is told in the station log; the file stays usable by this account.
void shareWithFolderGroup(QFile& file, const QString& folder);
