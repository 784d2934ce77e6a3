#include "queue/ChangeProbe.h"

#include "app/Failure.h"
#include "app/LabDatabase.h"
#include "app/StationLog.h"

ChangeProbe::ChangeProbe(LabDatabase& lab)
    : m_lab(lab) {}

bool ChangeProbe::poll() {
    const RowSet rows = m_lab.changeProbe();
    if (rows.rowCount() != 1)
        throw Failure(
            QStringLiteral("The change probe gave %1 rows instead of one.").arg(rows.rowCount()));
    Answer now;
    bool counted = false;
    now.items = rows.value(0, QStringLiteral("items")).toLongLong(&counted);
    now.newest = rows.value(0, QStringLiteral("newest"));
    if (!counted)
        throw Failure(QStringLiteral("The change probe's count is not a number."));
    const bool changed = !m_last || now.newest != m_last->newest || now.items > m_last->items;
    m_last = now;
    if (changed)
        qCInfo(lcQueue).noquote() << QStringLiteral("Change probe: %1 item rows in the window, "
                                                    "newest %2; refreshing now.")
                                         .arg(now.items)
                                         .arg(now.newest.isEmpty() ? QStringLiteral("none")
                                                                   : now.newest);
    return changed;
}
