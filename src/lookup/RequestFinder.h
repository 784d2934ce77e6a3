#pragma once

#include "lookup/CurrentRequest.h"

#include <QString>
#include <QStringList>

class LabDatabase;
class StationActivity;

// How a lookup ended.
enum class LookupOutcome {
    Blank,    // nothing to look up: no statement sent
    NotFound, // the database has no label of the number
    Loaded,   // the request's labels are listed
    Failed,   // the database failed, or the station is closing
};

// A looked-up request: its fields, one barcode and instrument per label, and the checklist entry
// of each label.
struct FoundRequest {
    LookupOutcome outcome = LookupOutcome::Blank;
    CurrentRequest request;
    QStringList entries;
};

// Looks a number up exactly as given (blanks included) with Lab_Barcode_GetRequests. Lets
// pending window events run once per label row; stops with Failed when the station is closing.
// Throws Failure when the database fails.
FoundRequest findRequest(LabDatabase& lab, const QString& number, StationActivity& activity);

// Learns how the database spells the request's number when the lookup's rows did not say it: the
// rows of its first label's barcode name their request. One statement; none when RefNum is known
// or no label has a barcode. Throws Failure when the database fails.
void learnRefNum(LabDatabase& lab, CurrentRequest& request);
