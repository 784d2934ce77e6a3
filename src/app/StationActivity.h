#pragma once

#include <QCoreApplication>
#include <array>
#include <cstddef>
#include <functional>
#include <utility>

// What the station is doing right now. The station runs on one thread, but its lookup, refresh,
// print job and automatic cycle let pending window events run while they work; every event
// handler asks here first whether its work may start now, so nothing interleaves with a running
// job that would corrupt it. A person's input that may not start is refused with a note on the
// status line, a tick is dropped (the next one tries again), and a Refresh press is deferred.
class StationActivity {
public:
    enum class Kind : std::size_t { Lookup, Print, Refresh, Cycle, Count_ };

    class Scope {
    public:
        Scope(StationActivity& activity, Kind kind)
            : m_activity(&activity)
            , m_kind(kind) {
            ++m_activity->m_running[index(kind)];
        }
        ~Scope() {
            --m_activity->m_running[index(m_kind)];
            m_activity->tellIfIdle();
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        StationActivity* m_activity;
        Kind m_kind;
    };

    bool isRunning(Kind kind) const { return m_running[index(kind)] > 0; }
    // A lookup, print job or automatic cycle is running: a new one of those, a grid click and
    // Reset must not start.
    bool isJobRunning() const {
        return isRunning(Kind::Lookup) || isRunning(Kind::Print) || isRunning(Kind::Cycle);
    }
    // A lookup or print job a person started. Print jobs inside an automatic run are the run's.
    bool isHandJobRunning() const {
        return isRunning(Kind::Lookup) || (isRunning(Kind::Print) && !isRunning(Kind::Cycle));
    }
    bool isAnythingRunning() const { return isJobRunning() || isRunning(Kind::Refresh); }

    // Exit was asked for while work was running: long loops stop at their next safe point.
    void requestStop() { m_stopRequested = true; }
    bool stopRequested() const { return m_stopRequested; }

    // Lets pending window events run once. False when the work must stop at this safe point.
    bool yield() {
        ++m_yielding;
        QCoreApplication::processEvents();
        --m_yielding;
        return !m_stopRequested;
    }
    // An event runs inside some routine's yield: what it does now, that routine waits for.
    bool isInsideYield() const { return m_yielding > 0; }
    // Called whenever a routine ends and none is left running or yielding.
    void setOnIdle(std::function<void()> onIdle) { m_onIdle = std::move(onIdle); }

private:
    void tellIfIdle() {
        if (m_onIdle && m_yielding == 0 && !isAnythingRunning())
            m_onIdle();
    }

    static constexpr std::size_t index(Kind kind) { return static_cast<std::size_t>(kind); }

    std::array<int, static_cast<std::size_t>(Kind::Count_)> m_running{};
    bool m_stopRequested = false;
    int m_yielding = 0;
    std::function<void()> m_onIdle;
};
