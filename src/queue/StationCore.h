#pragma once

#include "labels/LabelPrinting.h"
#include "queue/AutoPrintCycle.h"
#include "queue/HistoryRecorder.h"
#include "queue/LabelHistory.h"
#include "queue/LabelLedger.h"
#include "queue/PrintLog.h"
#include "queue/PrintProgress.h"
#include "queue/PrintRoad.h"
#include "queue/PrintedMarks.h"
#include "queue/RecentRequests.h"
#include "queue/RequestListModel.h"
#include "queue/StationFaults.h"

class LabDatabase;
class Notices;
class StationActivity;

// The station's rooms with no window, composed over one lab database: the recent request list
// and its marks, the print log, label printing, the print road with its memory and station
// faults, the refresh and the automatic cycle. The window shows and drives them; the tests and
// the crash test's station run them bare.
// setPrintLogFolder sets the folder of the print log and of the label history together.
class StationCore {
public:
    // ledgerPath: the label journal's file; empty keeps it in memory. The journal's entries
    // belong to lab's identity.
    StationCore(LabDatabase& lab, StationActivity& activity, Notices& notices,
                const QString& printLogFolder = QString(), const QString& ledgerPath = QString());

    void setPrintLogFolder(const QString& folder);

    PrintLog log;
    LabelPrinting printing;
    LabelLedger ledger;
    // The lab's label history in the print-log folder, its index beside the journal.
    LabelHistory history;
    HistoryRecorder recorder;
    PrintProgress progress;
    StationFaults faults;
    RequestListModel list;
    PrintedMarks marks;
    PrintRoad road;
    RecentRequests recent;
    AutoPrintCycle cycle;
};
