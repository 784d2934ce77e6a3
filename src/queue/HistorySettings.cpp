#include "queue/HistorySettings.h"

#include "app/SettingsStore.h"
#include "queue/LabelEvent.h"
#include "queue/LabelHistory.h"

namespace HistorySettings {

int parseKeptMonths(const QString& stored) {
    return qMax(LabelHistory::defaultKeptMonths, stored.toInt());
}

int parseLeftListHours(const QString& stored) {
    bool ok = false;
    const int hours = stored.toInt(&ok);
    return ok ? qBound(7, hours, 168) : 24;
}

QStringList parseReasons(const QString& stored) {
    QStringList reasons;
    for (const QString& reason : stored.split(QLatin1Char('|'))) {
        const QString clean = LabelEvent::cleanReason(reason);
        if (!clean.isEmpty() && !reasons.contains(clean))
            reasons.append(clean);
    }
    if (reasons.isEmpty())
        reasons =
            QStringList{QStringLiteral("Label damaged or unreadable"), QStringLiteral("Label lost"),
                        QStringLiteral("Tube replaced"), QStringLiteral("Printer fault")};
    return reasons;
}

int keptMonths() {
    return parseKeptMonths(SettingsStore::readStationSetting("HistoryKeptMonths"));
}

bool askReprintReason() {
    return SettingsStore::readStationSetting("AskReprintReason").toInt() == 1;
}

QStringList reprintReasons() {
    return parseReasons(SettingsStore::readStationSetting("ReprintReasons"));
}

int leftListHours() {
    return parseLeftListHours(SettingsStore::readStationSetting("LeftListHours"));
}

} // namespace HistorySettings
