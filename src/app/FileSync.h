#pragma once

#include <QByteArray>
#include <QString>

class QFile;

// Pushes what was written to an open file through the system's caches onto the disk, so that a
// power cut right after the call cannot lose it. Returns false when the system refuses.
bool syncToDisk(QFile& file);

// What tells the file at path from any other file: its device and inode on POSIX, its volume
// serial number and file index on Windows. Empty when nothing can be reached at path. A file
// deleted and another put at the same path gives another identity.
QByteArray fileIdentity(const QString& path);

// Lets every account of the station's group append to a file just made in folder, whatever the
// umask of the one that made it: in a group-writable folder whose group the new file took (the
// package's folder is setgid), the file is made group-writable too; other folders keep the
// umask's mode. On Windows the new file takes the folder's access list, so there is nothing to
// do. False when the file's mode could not be changed.
bool letFolderGroupWrite(QFile& file, const QString& folder);
