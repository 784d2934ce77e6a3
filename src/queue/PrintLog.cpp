#include "queue/PrintLog.h"

#include "app/DateTimeText.h"
#include "app/Failure.h"
#include "app/FileLock.h"
#include "app/FileSync.h"
#include "app/FolderGroup.h"
#include "app/StationLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {

QByteArray encode(const QString& text) {
    // The station's own code page: the system's 8-bit encoding.
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(text);
}

QString fileFailure(const QString& path, const QString& what, const QString& reason) {
    return QStringLiteral("The print log file \"%1\" cannot be %2: %3.")
        .arg(QDir::toNativeSeparators(path), what, reason);
}

QByteArrayView trimBlanks(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == ' ')
        ++begin;
    while (end > begin && text.at(end - 1) == ' ')
        --end;
    return text.sliced(begin, end - begin);
}

// A line ends at a line feed or a carriage return: the station writes CR LF, and a day file
// another program wrote with CR or LF alone still has lines, not one torn tail.
bool isLineEnd(char c) {
    return c == '\n' || c == '\r';
}

// Where the whole lines of a text end: after its last line end (0 when it has none).
qsizetype wholeLinesEnd(QByteArrayView content) {
    for (qsizetype i = content.size(); i > 0; --i) {
        if (isLineEnd(content.at(i - 1)))
            return i;
    }
    return 0;
}

// Where the line that holds position ends (content's size when it has no line end).
qsizetype lineEnd(QByteArrayView content, qsizetype position) {
    for (qsizetype i = position; i < content.size(); ++i) {
        if (isLineEnd(content.at(i)))
            return i;
    }
    return content.size();
}

// The line of content (without its line end) that holds position.
QByteArrayView lineAround(QByteArrayView content, qsizetype position) {
    const qsizetype start = wholeLinesEnd(content.first(position));
    return content.sliced(start, lineEnd(content, position) - start);
}

// The size of the file without a torn last line (one without its line end). Reads backwards
// from the end in blocks, so a long day file is not read whole.
qint64 sizeWithoutTornLine(QFile& file) {
    const qint64 size = file.size();
    constexpr qint64 block = 4096;
    for (qint64 end = size; end > 0; end -= block) {
        const qint64 start = qMax<qint64>(0, end - block);
        if (!file.seek(start))
            return -1;
        const QByteArray bytes = file.read(end - start);
        if (bytes.size() != end - start)
            return -1;
        if (const qsizetype whole = wholeLinesEnd(bytes); whole > 0)
            return start + whole;
    }
    return 0;
}

// Adds the number every whole line of bytes holds (the trimmed text after its first "---").
void collectNumbers(QByteArrayView bytes, QHash<QByteArray, int>& numbers) {
    for (qsizetype start = 0; start < bytes.size();) {
        const qsizetype end = lineEnd(bytes, start);
        const QByteArrayView line = bytes.sliced(start, end - start);
        if (const qsizetype marker = line.indexOf(QByteArrayView("---")); marker >= 0)
            ++numbers[trimBlanks(line.sliced(marker + 3)).toByteArray()];
        start = end + 1;
    }
}

// How long an append waits for another station's append to the same day file: one write and a
// sync, so seconds mean that station hangs, and this one tells it as a fault.
constexpr std::chrono::milliseconds dayFileLockWait{3000};

// Takes the day file's lock, which every station's append holds: nobody else writes the file
// meanwhile, so its size, the repair of a torn line and the undo of a failed write are this
// station's own.
void lockDayFile(QFile& file) {
    QString reason;
    if (!lockOpenFile(file, dayFileLockWait, &reason))
        throw Failure(fileFailure(file.fileName(), QStringLiteral("written"), reason));
}

// Day files whose numbers are kept: the days of the six-hour list, with room to spare.
constexpr int keptDays = 4;

// Empty unless a folder is there: a plain file in its place is not the folder.
QByteArray folderIdentity(const QString& path) {
    return QFileInfo(path).isDir() ? fileIdentity(path) : QByteArray();
}

} // namespace

PrintLog::PrintLog(QString folder)
    : m_folder(std::move(folder))
    , m_folderIdentity(folderIdentity(m_folder)) {}

void PrintLog::setFolder(const QString& folder) {
    m_folder = folder;
    m_folderIdentity = folderIdentity(m_folder);
}

QString PrintLog::dayFileName(const QString& transDate) {
    const QDateTime date = DateTimeText::parse(transDate);
    if (!date.isValid())
        throw RequestDataFailure(
            QStringLiteral("The transaction date \"%1\" is not a date, so the print log file of "
                           "its day cannot be named.")
                .arg(transDate));
    return QStringLiteral("PrintedLabBarcodes ") + date.toString(QStringLiteral("MM dd yyyy")) +
           QStringLiteral(".txt");
}

QString PrintLog::dayFilePath(const QString& transDate) const {
    return m_folder + QLatin1Char('/') + dayFileName(transDate);
}

QString PrintLog::keyFault(const QString& refNum) {
    if (refNum.startsWith(QLatin1Char(' ')) || refNum.endsWith(QLatin1Char(' ')))
        return QStringLiteral("The request number \"%1\" begins or ends with a blank, so the print "
                              "log could not tell it from \"%2\": it is not printed.")
            .arg(refNum, refNum.trimmed());
    QStringDecoder decoder(QStringConverter::System);
    const QString readBack = decoder.decode(encode(refNum));
    if (readBack != refNum || decoder.hasError())
        return QStringLiteral("The request number \"%1\" holds a character the print log's code "
                              "page cannot write, so it is not printed.")
            .arg(refNum);
    return {};
}

QByteArray PrintLog::storedNumber(const QString& refNum) {
    QString text = refNum;
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return encode(text);
}

QByteArray PrintLog::entryLine(const QString& transDate, const QString& timeWritten,
                               const QString& refNum) {
    QString dates = transDate + QLatin1Char(' ') + timeWritten;
    dates.replace(QLatin1Char('\r'), QLatin1Char(' '));
    dates.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return encode(dates) + QByteArrayLiteral(" ---") + storedNumber(refNum) +
           QByteArrayLiteral("\r\n");
}

bool PrintLog::lineHolds(QByteArrayView line, QByteArrayView number) {
    const qsizetype marker = line.indexOf(QByteArrayView("---"));
    if (marker < 0)
        return false;
    // The reader trims the stored text, so the number is compared trimmed too: a number with
    // blanks at its ends is found again under the key it was written with.
    return trimBlanks(line.sliced(marker + 3)) == trimBlanks(number);
}

bool PrintLog::holdsNumber(const QByteArray& content, const QByteArray& storedNumber) {
    const QByteArrayView whole = QByteArrayView(content).first(wholeLinesEnd(content));
    const QByteArrayView number = trimBlanks(storedNumber);
    if (number.isEmpty()) {
        // Every line could hold the empty number: read them all in order.
        for (qsizetype start = 0; start < whole.size();) {
            if (lineHolds(lineAround(whole, start), number))
                return true;
            start = lineEnd(whole, start) + 1;
        }
        return false;
    }
    // Only lines where the number's text occurs can hold it; a day file of many entries is
    // searched for those, not read line by line.
    for (qsizetype at = whole.indexOf(number); at >= 0; at = whole.indexOf(number, at + 1)) {
        if (lineHolds(lineAround(whole, at), number))
            return true;
    }
    return false;
}

void PrintLog::openDayFile(const QString& path) const {
    checkSameFolder();
    QFile file(path);
    // The file is created even for a lookup, and opened even when nothing is read.
    if (file.open(QIODevice::ReadOnly))
        return;
    if (file.exists())
        throw Failure(fileFailure(path, QStringLiteral("read"), file.errorString()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw Failure(fileFailure(path, QStringLiteral("created"), file.errorString()));
    shareWithFolderGroup(file, m_folder);
}

const QHash<QByteArray, int>& PrintLog::numbersOf(const QString& path) {
    const QFileInfo info(path);
    const qint64 size = info.size();
    const QDateTime modified = info.lastModified();
    DayNumbers& day = m_days[path];
    day.used = ++m_uses;
    if (size == day.size && modified == day.modified)
        return day.numbers;
    // A day file only grows: read on from the last whole line read, unless it shrank.
    if (size < day.wholeEnd || day.size < 0) {
        day.numbers.clear();
        day.wholeEnd = 0;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(day.wholeEnd)) {
        m_days.remove(path);
        throw Failure(fileFailure(path, QStringLiteral("read"), file.errorString()));
    }
    const QByteArray added = file.read(size - day.wholeEnd);
    if (file.error() != QFileDevice::NoError) {
        const QString reason = file.errorString();
        m_days.remove(path);
        throw Failure(fileFailure(path, QStringLiteral("read"), reason));
    }
    const qsizetype whole = wholeLinesEnd(added);
    collectNumbers(QByteArrayView(added).first(whole), day.numbers);
    day.wholeEnd += whole;
    day.size = day.wholeEnd + (added.size() - whole);
    day.modified = modified;
    if (m_days.size() > keptDays) {
        auto oldest = m_days.begin();
        for (auto it = m_days.begin(); it != m_days.end(); ++it) {
            if (it->used < oldest->used)
                oldest = it;
        }
        m_days.erase(oldest);
    }
    return m_days[path].numbers;
}

bool PrintLog::CheckPrintLog(const QString& refNum, const QString& transDate, bool writeEntry,
                             bool skipLookup) {
    if (const QString fault = keyFault(refNum); !fault.isEmpty())
        throw RequestDataFailure(fault);
    const QString path = dayFilePath(transDate);
    openDayFile(path);
    bool logged =
        !skipLookup && numbersOf(path).contains(trimBlanks(storedNumber(refNum)).toByteArray());
    if (writeEntry && !logged) {
        appendToFile(path, entryLine(transDate, DateTimeText::now(), refNum));
        logged = true;
    }
    return logged;
}

int PrintLog::linesOf(const QString& refNum, const QString& transDate) {
    const QString path = dayFilePath(transDate);
    if (!QFileInfo::exists(path))
        return 0;
    return numbersOf(path).value(trimBlanks(storedNumber(refNum)).toByteArray());
}

void PrintLog::appendEntries(const QList<Entry>& entries) {
    const QString now = DateTimeText::now();
    QString path;
    QByteArray lines;
    for (const Entry& entry : entries) {
        if (const QString fault = keyFault(entry.refNum); !fault.isEmpty())
            throw RequestDataFailure(fault);
    }
    for (const Entry& entry : entries) {
        const QString entryPath = dayFilePath(entry.transDate);
        if (entryPath != path && !lines.isEmpty()) {
            appendToFile(path, lines);
            lines.clear();
        }
        path = entryPath;
        lines += entryLine(entry.transDate, now, entry.refNum);
    }
    if (!lines.isEmpty())
        appendToFile(path, lines);
}

void PrintLog::appendToFile(const QString& path, const QByteArray& lines) {
    checkSameFolder();
    // Unbuffered, so the size written is the size the system took.
    QFile file(path);
    const bool made = !file.exists();
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        throw Failure(fileFailure(path, QStringLiteral("written"), file.errorString()));
    if (made)
        shareWithFolderGroup(file, m_folder);
    lockDayFile(file);
    qint64 start = sizeWithoutTornLine(file);
    if (start < 0)
        throw Failure(fileFailure(path, QStringLiteral("read"), file.errorString()));
    if (start != file.size()) {
        // What a write cut short left: a part line could read as another, shorter number.
        if (file.seek(start))
            qCWarning(lcPrint).noquote()
                << QStringLiteral("print log %1: an unfinished last line removed: \"%2\"")
                       .arg(QDir::toNativeSeparators(path),
                            QString::fromLocal8Bit(file.read(1024)));
        if (!file.resize(start))
            throw Failure(fileFailure(path, QStringLiteral("repaired"), file.errorString()));
    }
    // A last line ended by CR alone (a write cut between CR and LF) gets its LF first.
    QByteArray bytes = lines;
    if (start > 0 && file.seek(start - 1) && file.read(1) == "\r")
        bytes.prepend('\n');
    if (file.seek(start) && file.write(bytes) == bytes.size() && syncToDisk(file))
        return;
    const QString reason = file.errorString();
    // Undo what part of the lines reached the file, so no torn line stays behind.
    file.resize(start);
    syncToDisk(file);
    throw Failure(fileFailure(path, QStringLiteral("written"), reason));
}

void PrintLog::checkSameFolder() const {
    const QByteArray identity = folderIdentity(m_folder);
    if (m_folderIdentity.isEmpty())
        m_folderIdentity = identity; // made after the log was set up: this one is it
    // A folder that is gone fails the file's own open, which names the file.
    if (!identity.isEmpty() && identity != m_folderIdentity)
        throw Failure(QStringLiteral("The print log folder \"%1\" is not the folder the station "
                                     "started with (a share that is no longer mounted there, or "
                                     "another folder in its place); printing waits until it is "
                                     "back.")
                          .arg(QDir::toNativeSeparators(m_folder)));
}

void PrintLog::checkDayFile(const QString& path) const {
    // The probe finds a full disk, which opening the day file does not.
    checkWritable();
    if (!QFileInfo::exists(path))
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(fileFailure(path, QStringLiteral("read"), file.errorString()));
    file.close();
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::ExistingOnly))
        throw Failure(fileFailure(path, QStringLiteral("written"), file.errorString()));
    lockDayFile(file);
}

void PrintLog::checkWritable() const {
    checkSameFolder();
    const QString path = QDir(m_folder).filePath(QStringLiteral(".print-log-check"));
    QFile probe(path);
    const bool written =
        probe.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) &&
        probe.write(QByteArray(512, '\n')) == 512 && syncToDisk(probe);
    const QString reason = probe.errorString();
    probe.close();
    probe.remove();
    if (!written)
        throw Failure(QStringLiteral("The print log folder \"%1\" cannot be written: %2.")
                          .arg(QDir::toNativeSeparators(m_folder), reason));
}
