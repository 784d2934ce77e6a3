#include "lookup/RequestFinder.h"

#include "app/Failure.h"
#include "app/LabDatabase.h"
#include "app/StationActivity.h"
#include "app/TextRules.h"
#include "lookup/LookupKind.h"

#include <utility>

namespace {

// Row counters are 16-bit.
constexpr int maxLabelRows = 32767;

} // namespace

FoundRequest findRequest(LabDatabase& lab, const QString& number, StationActivity& activity) {
    FoundRequest found;
    if (isBlank(number))
        return found;
    const RowSet rows = lab.getRequests(number, lookupKind(number));
    const int count = rows.rowCount();
    if (count < 1) {
        found.outcome = LookupOutcome::NotFound;
        return found;
    }
    if (count > maxLabelRows)
        throw Failure(QStringLiteral("The request %1 has %2 labels, more than the %3 the station "
                                     "can list.")
                          .arg(number)
                          .arg(count)
                          .arg(maxLabelRows));

    CurrentRequest& r = found.request;
    r.LookedUpNumber = number;
    // A lab's procedure may name the request of its rows; the reference one does not.
    if (rows.hasColumn(QStringLiteral("RefNum")))
        r.RefNum = rows.value(0, QStringLiteral("RefNum"));
    r.HospNum = rows.value(0, QStringLiteral("HospNum"));
    r.PatientName = rows.value(0, QStringLiteral("PatientName"));
    r.TransDate = rows.value(0, QStringLiteral("TransDate"));
    r.RoomID = rows.value(0, QStringLiteral("RoomID"));
    r.Age = rows.value(0, QStringLiteral("Age"));
    r.Sex = rows.value(0, QStringLiteral("Sex"));
    r.Barcodes.reserve(count);
    r.Instruments.reserve(count);
    found.entries.reserve(count);
    for (int k = 0; k < count; ++k) {
        if (!activity.yield()) {
            found.outcome = LookupOutcome::Failed;
            return found;
        }
        r.Barcodes.append(rows.value(k, QStringLiteral("Barcode")));
        r.Instruments.append(rows.value(k, QStringLiteral("Instrument")));
        found.entries.append(checklistEntry(r.Barcodes.last(), r.Instruments.last()));
    }
    found.outcome = LookupOutcome::Loaded;
    return found;
}

void learnRefNum(LabDatabase& lab, CurrentRequest& request) {
    if (!request.RefNum.isEmpty())
        return;
    for (const QString& barcode : std::as_const(request.Barcodes)) {
        if (isBlank(barcode))
            continue;
        const RowSet rows = lab.getBarcodeRows(barcode);
        if (!rows.isEmpty())
            request.RefNum = rows.value(0, QStringLiteral("RefNum"));
        return;
    }
}
