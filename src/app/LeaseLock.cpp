#include "app/LeaseLock.h"

#include "app/Failure.h"
#include "app/FolderGroup.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

LeaseLock::LeaseLock(QString notePath)
    : m_notePath(std::move(notePath)) {}

QString LeaseLock::fileNamePart(const QString& name) {
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9_.-]"));
    return QString(name).replace(unsafe, QStringLiteral("_"));
}

LeaseLock::Note LeaseLock::readNote() const {
    Note note;
    QFile file(m_notePath);
    if (!file.open(QIODevice::ReadOnly)) {
        // Read as empty, a note that is there would let a second station take generation 1.
        if (file.exists())
            throw Failure(QStringLiteral("The lease's note %1 cannot be read: %2.")
                              .arg(m_notePath, file.errorString()));
        return note;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    note.holder = lines.value(0).trimmed();
    for (const QString& line : lines) {
        const QString value = line.section(QLatin1Char(' '), 1).trimmed();
        if (line.startsWith(QLatin1String("generation ")))
            note.generation = value.toULongLong();
        else if (line.startsWith(QLatin1String("renewal ")))
            note.renewal = value.toULongLong();
    }
    return note;
}

void LeaseLock::writeNote(const Note& note) {
    const QByteArray text = QStringLiteral("%1\ngeneration %2\nrenewal %3\n")
                                .arg(note.holder)
                                .arg(note.generation)
                                .arg(note.renewal)
                                .toUtf8();
    QSaveFile file(m_notePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        throw Failure(QStringLiteral("The lease's note %1 cannot be written: %2.")
                          .arg(m_notePath, file.errorString()));
    // A new file took the note's place: the next holder, under another account, replaces it.
    QFile written(m_notePath);
    shareWithFolderGroup(written, QFileInfo(m_notePath).absolutePath());
}
