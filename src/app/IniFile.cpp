#include "app/IniFile.h"

namespace {

QString trimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (begin < end && blank(text.at(begin)))
        ++begin;
    while (end > begin && blank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

QList<QString> splitLines(const QByteArray& bytes) {
    const QByteArray text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    QList<QString> lines;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        lines.append(QString::fromUtf8(line));
    }
    return lines;
}

bool isComment(const QString& trimmed) {
    return trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')) ||
           trimmed.startsWith(QLatin1Char('#'));
}

// "[Name]" gives Name; anything else a null QString.
QString sectionName(const QString& trimmed) {
    if (trimmed.size() < 2 || !trimmed.startsWith(QLatin1Char('[')) ||
        !trimmed.endsWith(QLatin1Char(']')))
        return QString();
    return trimBlanks(trimmed.mid(1, trimmed.size() - 2));
}

bool same(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

IniFile IniFile::parse(const QByteArray& bytes) {
    IniFile file;
    QString section;
    int number = 0;
    for (const QString& line : splitLines(bytes)) {
        ++number;
        const QString trimmed = trimBlanks(line);
        if (isComment(trimmed))
            continue;
        if (const QString name = sectionName(trimmed); !name.isNull()) {
            section = name;
            file.m_sections.append(name);
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const QString key = equals < 0 ? QString() : trimBlanks(line.left(equals));
        if (key.isEmpty()) {
            file.m_problems.append(QStringLiteral("line %1: \"%2\" is not a setting (Key=Value)")
                                       .arg(number)
                                       .arg(line));
            continue;
        }
        file.m_entries.append({section, key, trimBlanks(line.mid(equals + 1)), number});
    }
    return file;
}

QString IniFile::value(const QString& section, const QString& key) const {
    for (auto entry = m_entries.crbegin(); entry != m_entries.crend(); ++entry) {
        if (same(entry->section, section) && same(entry->key, key))
            return entry->value;
    }
    return QString();
}

bool IniFile::hasSection(const QString& section) const {
    for (const QString& name : m_sections) {
        if (same(name, section))
            return true;
    }
    return false;
}

QByteArray IniFile::withValue(const QByteArray& bytes, const QString& section, const QString& key,
                              const QString& value) {
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
        return QByteArray();
    QList<QString> lines = splitLines(bytes);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the line end of the last line
    const QString setting = key + QLatin1Char('=') + value;
    QString current;
    qsizetype sectionEnd = -1; // after the last line that belongs to the section
    qsizetype replace = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString trimmed = trimBlanks(lines.at(i));
        if (const QString name = sectionName(trimmed); !name.isNull()) {
            current = name;
            if (same(current, section))
                sectionEnd = i + 1;
            continue;
        }
        if (!same(current, section) || isComment(trimmed))
            continue;
        sectionEnd = i + 1;
        const qsizetype equals = lines.at(i).indexOf(QLatin1Char('='));
        if (equals >= 0 && same(trimBlanks(lines.at(i).left(equals)), key))
            replace = i;
    }
    if (replace >= 0) {
        lines[replace] = setting;
    } else if (sectionEnd >= 0) {
        lines.insert(sectionEnd, setting);
    } else {
        lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        lines.append(setting);
    }
    // The file keeps its own line ends and byte-order mark.
    const QString end = bytes.contains("\r\n") ? QStringLiteral("\r\n") : QStringLiteral("\n");
    const QByteArray mark =
        bytes.startsWith("\xEF\xBB\xBF") ? QByteArray("\xEF\xBB\xBF") : QByteArray();
    return mark + (lines.join(end) + end).toUtf8();
}
