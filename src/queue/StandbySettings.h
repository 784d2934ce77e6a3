#pragma once

#include <QString>

// The opt-in settings of the change probe and the lease for automatic printing, beside the
// auto-print setting ("Wrenfold", section "LabBarcodes"). Absent, the station behaves as before.
namespace StandbySettings {

// "ChangeProbeSeconds": the probe's interval in whole seconds, 1 to 3600; 0 (absent, not a
// number, out of range) is off.
int probeSeconds();
int parseProbeSeconds(const QString& stored);
// "PrintLease": the lease's name; "" (absent) is no lease.
QString leaseName();
// "StationName": this station's name on the status lines of the others; absent, the host name.
QString stationName();

} // namespace StandbySettings
