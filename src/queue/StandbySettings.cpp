#include "queue/StandbySettings.h"

#include "app/SettingsStore.h"

#include <QSysInfo>

namespace StandbySettings {

int parseProbeSeconds(const QString& stored) {
    bool ok = false;
    const int seconds = stored.trimmed().toInt(&ok);
    return ok && seconds >= 1 && seconds <= 3600 ? seconds : 0;
}

int probeSeconds() {
    return parseProbeSeconds(SettingsStore::readStationSetting("ChangeProbeSeconds"));
}

QString leaseName() {
    return SettingsStore::readStationSetting("PrintLease");
}

QString stationName() {
    const QString name = SettingsStore::readStationSetting("StationName");
    return name.isEmpty() ? QSysInfo::machineHostName() : name;
}

} // namespace StandbySettings
