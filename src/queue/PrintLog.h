#pragma once

#include <QByteArray>
#include <QString>

// The station's memory of printed requests: one append-only text file per transaction day in the
// print-log folder, "PrintedLabBarcodes mm dd yyyy.txt", one entry line per print:
//   <transaction date> <time written> ---<request number>CR LF
// A line holds number N when the text after its first "---", with blanks trimmed at both ends,
// is N exactly. Files are only ever appended to, and each append reaches the disk before
// CheckPrintLog returns.
class PrintLog {
public:
    explicit PrintLog(QString folder);

    const QString& folder() const { return m_folder; }

    // The day's file for a transaction date text. Throws Failure when the text is not a date.
    QString dayFilePath(const QString& transDate) const;
    static QString dayFileName(const QString& transDate);

    // Looks refNum up in the day's file (unless skipLookup) and appends an entry (if writeEntry
    // and it was not found). True when found or written. The day's file is created if missing.
    // Throws Failure naming the file and the reason when the file cannot be used.
    bool CheckPrintLog(const QString& refNum, const QString& transDate, bool writeEntry,
                       bool skipLookup);

    // Whether any line of a day file's content holds the (stored) number.
    static bool holdsNumber(const QByteArray& content, const QByteArray& storedNumber);
    // The reading rule for one line (without its line end) and one number.
    static bool lineHolds(QByteArrayView line, QByteArrayView storedNumber);
    // The entry line for the file, line end included, in the file's encoding.
    static QByteArray entryLine(const QString& transDate, const QString& timeWritten,
                                const QString& refNum);
    // How a request number stands in a file. A line break inside a number is written as the
    // two characters "\r" or "\n", so that no number can end its line and forge another.
    static QByteArray storedNumber(const QString& refNum);

private:
    QString m_folder;
};
