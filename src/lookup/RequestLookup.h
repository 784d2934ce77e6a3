#pragma once

#include "lookup/CurrentRequest.h"

class LabDatabase;
class Messages;
class StationActivity;
struct StationControls;

// Turns the number in the number box into a loaded request (LookupRequest), and puts the search
// and exam controls into a known state (ResetInput).
class RequestLookup {
public:
    RequestLookup(const StationControls& controls, LabDatabase& lab, Messages& messages,
                  StationActivity& activity, CurrentRequest& current);

    // Never passes a failure on: it reports it in a warning and returns.
    void LookupRequest();
    void ResetInput(bool searchEnabled, bool examsEnabled, bool clearNumber, bool focusNumber);

private:
    void lookup();

    const StationControls& m_controls;
    LabDatabase& m_lab;
    Messages& m_messages;
    StationActivity& m_activity;
    CurrentRequest& m_current;
};
