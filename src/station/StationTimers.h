#pragma once

struct StationControls;

// The window's two one-minute timers: tmrCheckRequests (a refresh every third tick) and
// tmrAutoPrint (an automatic run per tick), which runs only while "Auto Print Incoming Requests"
// is ticked.
class StationTimers {
public:
    explicit StationTimers(const StationControls& controls);

    // False stops both; true starts the refresh timer, and the auto-print timer when the box is
    // ticked.
    void EnableTimers(bool enable);
    // The box was clicked: its timer follows it, and its value is stored.
    void onAutoPrintBoxClick();
    void stopAll();

private:
    const StationControls& m_controls;
};
