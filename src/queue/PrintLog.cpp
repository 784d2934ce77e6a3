#include "queue/PrintLog.h"

#include "app/DateTimeText.h"
#include "app/Failure.h"
#include "app/FileSync.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>

namespace {

QByteArray encode(const QString& text) {
    // The station's own code page: the system's 8-bit encoding.
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(text);
}

QString fileFailure(const QString& path, const QString& what, const QFile& file) {
    return QStringLiteral("The print log file \"%1\" cannot be %2: %3.")
        .arg(QDir::toNativeSeparators(path), what, file.errorString());
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

// The line of content (without its line end) that holds position.
QByteArrayView lineAround(const QByteArray& content, qsizetype position) {
    const qsizetype start = content.lastIndexOf('\n', position) + 1;
    qsizetype end = content.indexOf('\n', position);
    if (end < 0)
        end = content.size();
    if (end > start && content.at(end - 1) == '\r')
        --end;
    return QByteArrayView(content).sliced(start, end - start);
}

} // namespace

PrintLog::PrintLog(QString folder)
    : m_folder(std::move(folder)) {}

QString PrintLog::dayFileName(const QString& transDate) {
    const QDateTime date = DateTimeText::parse(transDate);
    if (!date.isValid())
        throw Failure(QStringLiteral("The transaction date \"%1\" is not a date, so the print log "
                                     "file of its day cannot be named.")
                          .arg(transDate));
    return QStringLiteral("PrintedLabBarcodes ") + date.toString(QStringLiteral("MM dd yyyy")) +
           QStringLiteral(".txt");
}

QString PrintLog::dayFilePath(const QString& transDate) const {
    return m_folder + QLatin1Char('/') + dayFileName(transDate);
}

QByteArray PrintLog::storedNumber(const QString& refNum) {
    QString text = refNum;
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
    return trimBlanks(line.sliced(marker + 3)) == number;
}

bool PrintLog::holdsNumber(const QByteArray& content, const QByteArray& number) {
    if (number.isEmpty()) {
        // Every line could hold the empty number: read them all in order.
        for (qsizetype start = 0; start < content.size();) {
            if (lineHolds(lineAround(content, start), number))
                return true;
            const qsizetype end = content.indexOf('\n', start);
            if (end < 0)
                break;
            start = end + 1;
        }
        return false;
    }
    // Only lines where the number's text occurs can hold it; a day file of many entries is
    // searched for those, not read line by line.
    for (qsizetype at = content.indexOf(number); at >= 0; at = content.indexOf(number, at + 1)) {
        if (lineHolds(lineAround(content, at), number))
            return true;
    }
    return false;
}

bool PrintLog::CheckPrintLog(const QString& refNum, const QString& transDate, bool writeEntry,
                             bool skipLookup) {
    const QString path = dayFilePath(transDate);
    QFile file(path);
    // The file is created even for a lookup, and opened even when the lookup is skipped.
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.exists())
            throw Failure(fileFailure(path, QStringLiteral("read"), file));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
            throw Failure(fileFailure(path, QStringLiteral("created"), file));
        file.close();
        if (!file.open(QIODevice::ReadOnly))
            throw Failure(fileFailure(path, QStringLiteral("read"), file));
    }

    bool logged = false;
    if (!skipLookup) {
        const QByteArray number = storedNumber(refNum);
        const QByteArray content = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw Failure(fileFailure(path, QStringLiteral("read"), file));
        logged = holdsNumber(content, number);
    }
    file.close();

    if (writeEntry && !logged) {
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Append))
            throw Failure(fileFailure(path, QStringLiteral("written"), out));
        const QByteArray line = entryLine(transDate, DateTimeText::now(), refNum);
        if (out.write(line) != line.size() || !syncToDisk(out))
            throw Failure(fileFailure(path, QStringLiteral("written"), out));
        logged = true;
    }
    return logged;
}
