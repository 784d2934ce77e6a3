#pragma once

#include "app/DbConnection.h"
#include "app/StationActivity.h"
#include "lookup/CurrentRequest.h"
#include "lookup/ExamChecklistModel.h"
#include "queue/Notices.h"
#include "queue/StationCore.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class TdsTestServer;
class TestWorld;

// Notices kept for the test to read.
class KeptNotices : public Notices {
public:
    void notice(const QString& text) override { texts.append(text); }
    QStringList texts;
};

// The station's rooms with no window, composed as the station composes them, over a folder laid
// out as a TestWorld's: the lab database "lab.db", the print log "PrintLog", the label template
// "LabBarcodeLabel.rpt" (printing PDF files into "labels"). With QUILLON_LAB_ROAD=tds the station
// reaches the lab database through FreeTDS and the TDS test server over the same file.
class RoadWorld {
public:
    // labPath: the lab database, when it is not the folder's "lab.db".
    explicit RoadWorld(const QString& folder, const QString& labPath = QString());
    // Writes the world's PDF template first. The world's lab database must exist.
    explicit RoadWorld(TestWorld& world);
    ~RoadWorld();

    // Looks the number up and drives the road with every label ticked, in one copy each, with
    // the automatic cycle's own entry (the number and rowDate). beforeEntry(n) runs just before
    // the n-th label (from 1) that is printed, where a test breaks something.
    PrintJobOutcome printRequest(const QString& number, const QString& rowDate,
                                 const std::function<void(int)>& beforeEntry = {});
    // Drives the road again with the request printRequest looked up last.
    PrintJobOutcome printLoaded(const QString& rowDate,
                                const std::function<void(int)>& beforeEntry = {});
    // A timer refresh, then one automatic run over the list.
    AutoPrintCycle::Summary refreshAndPrint();
    // Runs a statement on a connection of the test's own, to the lab database or file.
    void sql(const QString& statement, const QString& file = QString()) const;
    // The print-log folder is replaced by a plain file, so nothing can be appended; and back.
    void breakLogFolder(bool broken) const;
    // Another connection holds the lab database locked for writing; and lets it go. False when
    // the lock cannot be taken now (the station is inside a transaction).
    bool holdLock(bool locked);
    // The station's connection waits this long for a lock before it fails.
    void setBusyTimeout(int milliseconds);

    QString folder;
    QString labPath;
    std::unique_ptr<TdsTestServer> server;
    DbConnection connection;
    StationActivity activity;
    KeptNotices notices;
    std::unique_ptr<StationCore> core;
    CurrentRequest request;
    ExamChecklistModel entries;
    QStringList blanks; // "number/entry" of every blank barcode the road reported

private:
    bool m_locked = false;
};
