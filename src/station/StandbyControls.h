#pragma once

#include <QObject>
#include <QString>
#include <memory>

class ChangeProbe;
class LabDatabase;
class Notices;
class PrintLease;
class QueueControls;

// The window side of the change probe and the lease for automatic printing: their timers and the
// status line. Both are opt-in; the station makes this only when a setting asks for one.
class StandbyControls : public QObject {
    Q_OBJECT
public:
    // A standby checks the lease this often, so it takes over well within 30 seconds of the
    // holder's connection ending.
    static constexpr int leaseCheckMs = 10000;

    // probeSeconds 0: no probe; leaseName "": no lease.
    StandbyControls(LabDatabase& lab, QueueControls& queue, Notices& notices, int probeSeconds,
                    const QString& leaseName, const QString& stationName,
                    const QString& printLogFolder, QObject* parent = nullptr);
    ~StandbyControls() override;

    // Whether the automatic run may print now: always without a lease, else only its holder.
    bool mayPrintAutomatically();
    // The run's fence before each request: without a lease always; else only while this station
    // still holds it (nothing renewed, nothing taken).
    bool mayGoOn();
    void onProbeTick();
    void onLeaseTick();

private:
    bool checkLease();
    void showLease();

    QueueControls& m_queue;
    Notices& m_notices;
    std::unique_ptr<ChangeProbe> m_probe;
    std::unique_ptr<PrintLease> m_lease;
    QString m_shown;
};
