#pragma once

#include "lookup/CurrentRequest.h"

class LabDatabase;
class Messages;
class StationActivity;
struct StationControls;

// How a lookup ended.
enum class LookupOutcome {
    Blank,    // nothing to look up: no statement sent
    NotFound, // "Sample not found!" was shown
    Loaded,   // the request's labels are listed
    Failed,   // the failure was shown; the number stays in the box
};

// Turns the number in the number box into a loaded request (LookupRequest), and puts the search
// and exam controls into a known state (ResetInput).
class RequestLookup {
public:
    RequestLookup(const StationControls& controls, LabDatabase& lab, Messages& messages,
                  StationActivity& activity, CurrentRequest& current);

    // Never passes a failure on: it reports it in a warning and returns.
    LookupOutcome LookupRequest();
    void ResetInput(bool searchEnabled, bool examsEnabled, bool clearNumber, bool focusNumber);

private:
    LookupOutcome lookup();

    const StationControls& m_controls;
    LabDatabase& m_lab;
    Messages& m_messages;
    StationActivity& m_activity;
    CurrentRequest& m_current;
};
