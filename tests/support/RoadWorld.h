#pragma once

#include "app/DbConnection.h"
#include "app/StationActivity.h"
#include "labels/LabelPrinting.h"
#include "lookup/CurrentRequest.h"
#include "lookup/ExamChecklistModel.h"
#include "queue/PrintLog.h"
#include "queue/PrintProgress.h"
#include "queue/PrintRoad.h"
#include "queue/StationFaults.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class TestWorld;

// The print road with no window, as the station composes it, over a TestWorld: its real lab
// database file, its print-log folder, and labels written as PDF files into its label folder.
class RoadWorld {
public:
    // The world's lab database must exist.
    explicit RoadWorld(TestWorld& world);
    ~RoadWorld();

    // Looks the number up and drives the road with every label ticked, in one copy each, with
    // the automatic cycle's own entry (the number and rowDate). beforeEntry(n) runs just before
    // the n-th label (from 1) that is printed, where a test breaks something.
    PrintJobOutcome printRequest(const QString& number, const QString& rowDate,
                                 const std::function<void(int)>& beforeEntry = {});
    // Runs a statement on a connection of the test's own.
    void sql(const QString& statement) const;
    // The print-log folder is replaced by a plain file, so nothing can be appended; and back.
    void breakLogFolder(bool broken) const;
    // Another connection holds the lab database locked for writing; and lets it go.
    void holdLock(bool locked);
    // The station's connection waits this long for a lock before it fails.
    void setBusyTimeout(int milliseconds);

    TestWorld& world;
    DbConnection connection;
    StationActivity activity;
    PrintLog log;
    LabelPrinting printing;
    PrintProgress progress;
    StationFaults faults;
    std::unique_ptr<PrintRoad> road;
    CurrentRequest request;
    ExamChecklistModel entries;
    QStringList blanks; // "number/entry" of every blank barcode the road reported

private:
    bool m_locked = false;
};
