#pragma once

#include <QtGlobal>
#include <chrono>

// Milliseconds of the system's monotonic clock: intervals measured with it survive a change of
// the wall clock.
inline qint64 steadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
