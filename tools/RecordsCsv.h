#pragma once

#include <QString>
#include <QStringList>

class QIODevice;

// Reads label records from CSV text (UTF-8, a BOM allowed): the first line names the columns,
// every further line is one record. Values with commas, quotes or line ends go in double quotes,
// a quote inside them doubled. Reads one record at a time, so a file of any length takes no
// more memory than its longest record.
class RecordsCsv {
public:
    // The columns, in the order of the station's seven label values.
    static const QStringList& columnNames();

    explicit RecordsCsv(QIODevice& device);

    // Reads the first line. False with error() when it is missing or names an unknown column.
    bool readHeader();
    // The next record's seven label values, "" for a column the file does not have. False at
    // the end, or with error() when the record is malformed.
    bool next(QStringList& values);

    // What is wrong, with its line, e.g. "line 4: 3 values, but the first line names 4 columns".
    const QString& error() const { return m_error; }
    // The line the last record read starts on.
    int line() const { return m_recordLine; }

private:
    bool readRecord(QStringList& fields);
    bool fail(int line, const QString& what);

    QIODevice& m_device;
    QList<int> m_positions; // the label value position of each column of the file
    int m_line = 0;         // lines read so far
    int m_recordLine = 0;
    QString m_error;
};
