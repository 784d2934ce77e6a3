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
