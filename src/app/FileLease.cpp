#include "app/FileLease.h"

FileLease::FileLease(const QString& databasePath, const QString& name)
    : m_lock(lockPath(databasePath, name)) {}

QString FileLease::lockPath(const QString& databasePath, const QString& name) {
    return databasePath + QStringLiteral(".lease-") + fileNamePart(name);
}

bool FileLease::take() {
    return m_lock.tryLock();
}

bool FileLease::holds() {
    return m_lock.isLocked();
}

bool FileLease::isFree() {
    if (m_lock.isLocked())
        return true;
    FileLock probe(m_lock.path());
    return probe.tryLock(); // released again as the probe goes
}

void FileLease::release() {
    m_lock.unlock();
}

void FileLease::noteHolder(const QString& station) {
    m_lock.writeText(station);
}

QString FileLease::holder() {
    return m_lock.readText();
}
