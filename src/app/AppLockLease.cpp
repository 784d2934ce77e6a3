#include "app/AppLockLease.h"

#include "app/Failure.h"
#include "app/LabStatements.h"

AppLockLease::AppLockLease(Link link, QString name, const QString& noteFolder)
    : LeaseLock(notePath(noteFolder, name))
    , m_link(std::move(link))
    , m_name(std::move(name)) {}

QString AppLockLease::notePath(const QString& folder, const QString& name) {
    return folder + QStringLiteral("/lease ") + fileNamePart(name) + QStringLiteral(".holder");
}

QString AppLockLease::resource(const QString& name, quint64 generation) {
    return name + QLatin1Char('#') + QString::number(generation);
}

QString AppLockLease::answer(const QString& text, const QString& column) {
    for (int attempt = 0;; ++attempt) {
        try {
            const RowSet rows = m_link.rows(text);
            return rows.isEmpty() ? QString() : rows.value(0, column);
        } catch (const Failure&) {
            if (attempt > 0 || !m_link.reconnect)
                throw;
            m_link.reconnect();
        }
    }
}

bool AppLockLease::holds(quint64 generation) {
    return generation != 0 && answer(LabStatements::leaseMode(resource(m_name, generation)),
                                     QStringLiteral("mode")) == QLatin1String("Exclusive");
}

bool AppLockLease::holds() {
    return holds(m_generation);
}

bool AppLockLease::take(quint64 generation) {
    // Asked first: each grant to the same session is counted and would need its own release.
    if (generation == m_generation && holds(generation))
        return true;
    release();
    if (answer(LabStatements::takeLease(resource(m_name, generation)), QStringLiteral("result"))
            .toInt() < 0)
        return false;
    m_generation = generation;
    return true;
}

bool AppLockLease::isFree(quint64 generation) {
    return answer(LabStatements::leaseFree(resource(m_name, generation)), QStringLiteral("free")) ==
           QLatin1String("1");
}

void AppLockLease::release() {
    const quint64 generation = std::exchange(m_generation, 0);
    if (holds(generation))
        m_link.execute(LabStatements::releaseLease(resource(m_name, generation)));
}
