#pragma once

#include <QObject>
#include <QTimer>

class LabelHistory;
class StationActivity;

// Brings the label history's local index up to date in small steps while the station is idle,
// from its start: a station new to the lab (or whose index was lost) would otherwise read years
// of history at its first lookup, the window waiting. A step never runs inside other work.
class HistoryCatchUp : public QObject {
    Q_OBJECT
public:
    HistoryCatchUp(LabelHistory& history, const StationActivity& activity,
                   QObject* parent = nullptr);
    void start();

    // About 60 ms a step, 120 ms at most, on this machine (bench_history).
    static constexpr qint64 stepBytes = 512 * 1024;

private:
    void step();

    LabelHistory& m_history;
    const StationActivity& m_activity;
    QTimer m_timer;
};
