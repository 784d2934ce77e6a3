#include "app/AppLockLease.h"

#include "app/Failure.h"
#include "app/FolderGroup.h"
#include "app/LabStatements.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

AppLockLease::AppLockLease(Link link, QString name, QString noteFolder)
    : m_link(std::move(link))
    , m_name(std::move(name))
    , m_notePath(notePath(noteFolder, m_name)) {}

QString AppLockLease::notePath(const QString& folder, const QString& name) {
    return folder + QStringLiteral("/lease ") + fileNamePart(name) + QStringLiteral(".holder");
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

bool AppLockLease::holds() {
    return answer(LabStatements::leaseMode(m_name), QStringLiteral("mode")) ==
           QLatin1String("Exclusive");
}

bool AppLockLease::take() {
    // Asked first: each grant to the same session is counted and would need its own release.
    if (holds())
        return true;
    return answer(LabStatements::takeLease(m_name), QStringLiteral("result")).toInt() >= 0;
}

bool AppLockLease::isFree() {
    return answer(LabStatements::leaseFree(m_name), QStringLiteral("free")) == QLatin1String("1");
}

void AppLockLease::release() {
    if (!holds())
        return;
    m_link.execute(LabStatements::releaseLease(m_name));
}

void AppLockLease::noteHolder(const QString& station) {
    QSaveFile file(m_notePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(station.toUtf8()) < 0 || !file.commit())
        throw Failure(QStringLiteral("The lease holder's note %1 cannot be written: %2.")
                          .arg(m_notePath, file.errorString()));
    // A new file replaced the note: the next holder, under another account, replaces it in turn.
    QFile written(m_notePath);
    shareWithFolderGroup(written, QFileInfo(m_notePath).absolutePath());
}

QString AppLockLease::holder() {
    QFile file(m_notePath);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll()).trimmed();
}
