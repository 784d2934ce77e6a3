#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

// The station's memory of printed requests: one append-only text file per transaction day in the
// print-log folder, "PrintedLabBarcodes mm dd yyyy.txt", one entry line per print:
//   <transaction date> <time written> ---<request number>CR LF
// A line holds number N when the text after its first "---", with blanks trimmed at both ends,
// is N with blanks trimmed at both ends. Only whole lines count: a last line without its line end
// is what a crash left of a write and holds nothing. Appends reach the disk whole or not at all.
//
// Two different numbers never read as the same line: a number that the rule would trim, or that
// the file's code page cannot hold, is refused (RequestDataFailure) instead of written. The
// numbers of a day file are read once and kept, and read again only from where the file grew.
class PrintLog {
public:
    // One entry line to append: the request number and its transaction date text.
    struct Entry {
        QString refNum;
        QString transDate;
    };

    explicit PrintLog(QString folder);

    const QString& folder() const { return m_folder; }
    // The folder's identity is remembered here, and when it is first seen.
    void setFolder(const QString& folder);

    // The day's file for a transaction date text. Throws RequestDataFailure when the text is not
    // a date.
    QString dayFilePath(const QString& transDate) const;
    static QString dayFileName(const QString& transDate);

    // Looks refNum up in the day's file (unless skipLookup) and appends an entry (if writeEntry
    // and it was not found). True when found or written. The day's file is created if missing.
    // Throws Failure naming the file and the reason when the file cannot be used, and
    // RequestDataFailure when refNum cannot be a key of its own (keyFault).
    bool CheckPrintLog(const QString& refNum, const QString& transDate, bool writeEntry,
                       bool skipLookup);

    // How many whole lines of the day's file hold refNum; 0 when there is no such file.
    // Throws Failure when the file cannot be read.
    int linesOf(const QString& refNum, const QString& transDate);

    // Appends the entries in order. The entries of one day's file go in one write that is synced
    // to the disk; a write that fails part-way is undone, so the file holds all of them or none.
    // A torn last line that a crash left in the file is cut off first. All of it happens under
    // the day file's lock, which other stations' appends take too (waited for a few seconds).
    // Throws Failure, also when another station held the lock all that time.
    void appendEntries(const QList<Entry>& entries);

    // Throws Failure when the folder does not accept an append now (missing, read-only, full,
    // not the folder the station started with). Writes and removes a small probe file; touches
    // no day file.
    void checkWritable() const;
    // Throws Failure when the day file at path cannot be read and opened for append now (read
    // only, immutable, locked, not a file) or the folder takes no append (checkWritable()): the
    // day file is opened both ways and its lock taken, and nothing is written to it.
    void checkDayFile(const QString& path) const;
    // Throws Failure when the folder is no longer the one found at start-up (a share that
    // dropped, leaving its empty mount point; another folder put in its place): a day file made
    // there would hide the real log.
    void checkSameFolder() const;

    // Why refNum cannot stand in the log as a key of its own, in the station's words: blanks at
    // its ends (the reading rule trims them, so it would mark the number without them, and be
    // marked by it) or a character the file's code page cannot hold. Empty when it can.
    static QString keyFault(const QString& refNum);

    // Whether any whole line of a day file's content holds the number.
    static bool holdsNumber(const QByteArray& content, const QByteArray& storedNumber);
    // The reading rule for one line (without its line end) and one number.
    static bool lineHolds(QByteArrayView line, QByteArrayView storedNumber);
    // The entry line for the file, line end included, in the file's encoding.
    static QByteArray entryLine(const QString& transDate, const QString& timeWritten,
                                const QString& refNum);
    // How a request number stands in a file. A line break inside a number is written as the
    // two characters "\r" or "\n", so that no number can end its line and forge another; a
    // backslash is doubled, so that the typed text "\r" is not a line break's key.
    static QByteArray storedNumber(const QString& refNum);

private:
    // The numbers of a day file's whole lines, as far as they were read.
    struct DayNumbers {
        qint64 size = -1;
        QDateTime modified;
        qint64 wholeEnd = 0;            // where the whole lines read so far end
        QHash<QByteArray, int> numbers; // how many lines hold each number
        quint64 used = 0;
    };

    // Opens (creating it empty when missing) the day's file for reading.
    void openDayFile(const QString& path) const;
    // The day file's numbers, read again from where it grew since the last time.
    const QHash<QByteArray, int>& numbersOf(const QString& path);
    void appendToFile(const QString& path, const QByteArray& lines);

    QString m_folder;
    QHash<QString, DayNumbers> m_days;
    quint64 m_uses = 0;
    mutable QByteArray m_folderIdentity;
};
