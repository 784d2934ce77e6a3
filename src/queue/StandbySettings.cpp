#include "queue/StandbySettings.h"

#include "app/SettingsStore.h"

#include <QSysInfo>

namespace StandbySettings {

namespace {
const QString application = QStringLiteral("Wrenfold");
const QString section = QStringLiteral("LabBarcodes");

QString read(const char* key) {
    return SettingsStore::read(application, section, QLatin1String(key), QString()).trimmed();
}
} // namespace

int parseProbeSeconds(const QString& stored) {
    bool ok = false;
    const int seconds = stored.trimmed().toInt(&ok);
    return ok && seconds >= 1 && seconds <= 3600 ? seconds : 0;
}

int probeSeconds() {
    return parseProbeSeconds(read("ChangeProbeSeconds"));
}

QString leaseName() {
    return read("PrintLease");
}

QString stationName() {
    const QString name = read("StationName");
    return name.isEmpty() ? QSysInfo::machineHostName() : name;
}

} // namespace StandbySettings
