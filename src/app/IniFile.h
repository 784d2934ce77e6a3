#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A settings file as people write it by hand: "[Section]" lines, then "Key=Value" lines. Read
// literally: a value is the text after the first "=" of its line with blanks (spaces and tabs)
// trimmed at both ends, exactly as written otherwise; no escapes, no lists, no quoting (quotes are
// part of the value). Lines that are blank or start with ";" or "#" are comments. Section and key
// names match whatever their letter case; a key given twice in a section takes its last value.
// UTF-8, with or without a byte-order mark; line ends LF or CR LF.
class IniFile {
public:
    struct Entry {
        QString section;
        QString key;
        QString value;
        int line = 0; // from 1
    };

    static IniFile parse(const QByteArray& bytes);

    // The value, or a null QString when the section has no such key.
    QString value(const QString& section, const QString& key) const;
    bool hasSection(const QString& section) const;
    // Lines that are neither a section, a setting nor a comment: "line 4: ...".
    const QStringList& problems() const { return m_problems; }

    // bytes with key set to value in section: the key's line is replaced, or a line is added at
    // the end of the section (which is added at the end when missing). Every other line stays as
    // it was. A value holding a line break cannot be written: returns an empty array.
    static QByteArray withValue(const QByteArray& bytes, const QString& section, const QString& key,
                                const QString& value);

private:
    QList<Entry> m_entries;
    QStringList m_sections;
    QStringList m_problems;
};
