#pragma once

#include "app/ConnectionSettings.h"

#include <QByteArray>
#include <QTemporaryFile>

// While it lives, FreeTDS reads the station's own server entry (OdbcConnectionString::
// freeTdsEntry) from a private file named by FREETDSCONF. FreeTDS reads it at every open, the
// reopens after a drop included, so it lives as long as the connection; then the file goes and
// the variable is put back.
class FreeTdsEntryFile {
public:
    // Throws Failure when the CA file cannot be read or the entry cannot be written.
    explicit FreeTdsEntryFile(const ConnectionSettings& settings);
    ~FreeTdsEntryFile();
    FreeTdsEntryFile(const FreeTdsEntryFile&) = delete;
    FreeTdsEntryFile& operator=(const FreeTdsEntryFile&) = delete;

private:
    QTemporaryFile m_file;
    QByteArray m_previous;
    bool m_hadPrevious = false;
};
