#include "app/FileLease.h"

#include <QFile>

FileLease::FileLease(const QString& databasePath, const QString& name)
    : LeaseLock(notePath(databasePath, name)) {}

FileLease::~FileLease() = default;

QString FileLease::notePath(const QString& databasePath, const QString& name) {
    return databasePath + QStringLiteral(".lease-") + fileNamePart(name);
}

QString FileLease::lockPath(quint64 generation) const {
    return LeaseLock::notePath() + QLatin1Char('.') + QString::number(generation);
}

bool FileLease::take(quint64 generation) {
    if (generation == m_generation && holds())
        return true;
    release();
    auto lock = std::make_unique<FileLock>(lockPath(generation));
    if (!lock->tryLock())
        return false;
    m_lock = std::move(lock);
    m_generation = generation;
    // Nobody takes an older generation again: its file goes, even while a stopped holder still
    // has it locked (that one reads the note before it prints again).
    QFile::remove(lockPath(generation - 1));
    return true;
}

bool FileLease::holds() {
    return m_lock && m_lock->isLocked();
}

bool FileLease::isFree(quint64 generation) {
    if (generation == m_generation && holds())
        return false;
    if (!QFile::exists(lockPath(generation)))
        return true;
    FileLock probe(lockPath(generation));
    return probe.tryLock(); // released again as the probe goes
}

void FileLease::release() {
    m_lock.reset();
    m_generation = 0;
}
