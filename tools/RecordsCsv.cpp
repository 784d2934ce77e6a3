#include "RecordsCsv.h"

#include <QIODevice>
#include <QStringDecoder>

const QStringList& RecordsCsv::columnNames() {
    // Named as in the benchmark's records: "group" is the instrument.
    static const QStringList names{QStringLiteral("barcode"), QStringLiteral("name"),
                                   QStringLiteral("hn"),      QStringLiteral("group"),
                                   QStringLiteral("date"),    QStringLiteral("room"),
                                   QStringLiteral("agesex")};
    return names;
}

RecordsCsv::RecordsCsv(QIODevice& device)
    : m_device(device) {}

bool RecordsCsv::fail(int line, const QString& what) {
    m_error = QStringLiteral("line %1: %2").arg(line).arg(what);
    return false;
}

bool RecordsCsv::readHeader() {
    QStringList names;
    if (!readRecord(names))
        return m_error.isEmpty() ? fail(1, QStringLiteral("the file is empty; its first line "
                                                          "must name the columns"))
                                 : false;
    for (const QString& name : std::as_const(names)) {
        const int position = int(columnNames().indexOf(name.trimmed().toLower()));
        if (position < 0)
            return fail(m_recordLine, QStringLiteral("unknown column \"%1\"; the columns are %2")
                                          .arg(name, columnNames().join(QStringLiteral(", "))));
        if (m_positions.contains(position))
            return fail(m_recordLine, QStringLiteral("the column \"%1\" is named twice").arg(name));
        m_positions.append(position);
    }
    return true;
}

bool RecordsCsv::next(QStringList& values) {
    QStringList fields;
    if (!readRecord(fields))
        return false;
    if (fields.size() != m_positions.size())
        return fail(m_recordLine, QStringLiteral("%1 values, but the first line names %2 columns")
                                      .arg(fields.size())
                                      .arg(m_positions.size()));
    values = QStringList(columnNames().size(), QString());
    for (qsizetype i = 0; i < fields.size(); ++i)
        values[m_positions.at(i)] = fields.at(i);
    return true;
}

// One record, which a quoted value may carry over several lines; blank lines are skipped.
bool RecordsCsv::readRecord(QStringList& fields) {
    fields.clear();
    QString field;
    bool quoted = false;  // inside a quoted value
    bool closed = false;  // the value's closing quote has been read
    bool started = false; // the record has begun
    while (true) {
        if (m_device.atEnd()) {
            if (quoted)
                return fail(m_recordLine, QStringLiteral("a quoted value is never closed"));
            if (!started)
                return false;
            fields.append(field);
            return true;
        }
        const QByteArray raw = m_device.readLine();
        ++m_line;
        QStringDecoder utf8(QStringDecoder::Utf8);
        QString text = utf8.decode(raw);
        if (utf8.hasError())
            return fail(m_line, QStringLiteral("the text is not UTF-8; save the file as UTF-8"));
        if (m_line == 1 && text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        if (!started) {
            if (text.trimmed().isEmpty())
                continue;
            started = true;
            m_recordLine = m_line;
        }
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (quoted) {
                if (c != QLatin1Char('"')) {
                    field += c;
                } else if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                    closed = true;
                }
            } else if (c == QLatin1Char(',')) {
                fields.append(field);
                field.clear();
                closed = false;
            } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
                // the line's end: only blanks may follow
            } else if (c == QLatin1Char('"')) {
                if (!field.isEmpty() || closed)
                    return fail(m_line, QStringLiteral("a quote inside a value that does not "
                                                       "start with one; put the whole value in "
                                                       "quotes and double the quote"));
                quoted = true;
            } else if (closed) {
                return fail(m_line, QStringLiteral("text after a value's closing quote"));
            } else {
                field += c;
            }
        }
        if (!quoted) {
            fields.append(field);
            return true;
        }
    }
}
