#pragma once

#include "lookup/RequestFinder.h"

class ExamChecklistModel;
class LabelHistory;
class LabDatabase;
class Messages;
class StationActivity;
struct CurrentRequest;
struct StationControls;

// The window's lookup routines: LookupRequest turns the number in the number box into a loaded
// request (CurrentRequest and the ticked checklist), ResetInput puts the search and exam controls
// into a known state.
class LookupPanel {
public:
    LookupPanel(const StationControls& controls, LabDatabase& lab, Messages& messages,
                StationActivity& activity, CurrentRequest& current, ExamChecklistModel& checklist);

    // Never passes a failure on: it reports it in a warning and returns. knownRefNum: the
    // database's spelling of the number when the caller has it (a row of the list); otherwise
    // the lookup asks the database for it.
    LookupOutcome LookupRequest(const QString& knownRefNum = QString());
    void ResetInput(bool searchEnabled, bool examsEnabled, bool clearNumber, bool focusNumber);
    // A looked-up request waits for Print: its checklist is listed and the exam group is open.
    bool isLoaded() const;
    // Each exam line of a loaded request shows what the lab's label history holds of its label.
    void setHistory(LabelHistory* history) { m_history = history; }

private:
    LookupOutcome lookup(const QString& knownRefNum);

    const StationControls& m_controls;
    LabDatabase& m_lab;
    Messages& m_messages;
    StationActivity& m_activity;
    CurrentRequest& m_current;
    ExamChecklistModel& m_checklist;
    LabelHistory* m_history = nullptr;
};
