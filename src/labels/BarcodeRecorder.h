#pragma once

#include "app/LabDatabase.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// Records one printed barcode in the laboratory database: every row that
// Lab_Barcode_GetRequests gives for the barcode text gets its master record and its date record,
// all in one transaction, or none does.

struct BarcodeRecording {
    enum class Outcome {
        Blank,      // the text was blank: nothing sent, no transaction
        Recorded,   // committed
        RolledBack, // a failure: rolled back, or no transaction could be begun
        UndoFailed, // a failure, and the rollback failed as well: the database may hold part
    };
    Outcome outcome = Outcome::Blank;
    QString failure;     // the failure that ended the recording (RolledBack, UndoFailed)
    QString undoFailure; // why the rollback failed (UndoFailed)
    int rows = 0;        // the exam rows recorded (Recorded); none when the database has none

    // For UndoFailed, the text the Print command shows in a warning box:
    // "The database could not undo the recording of barcode <barcode>: <reason>"; otherwise empty.
    QString undoFailureMessage(const QString& barcodeText) const;
};

// Records barcodeText. Blank (nothing but white space): empties barcodeText, sends nothing.
// Committed: empties barcodeText. After a failure the transaction is rolled back, barcodeText is
// left as it was, and the failure is in the result; nothing is thrown. Lets pending window
// events run once per row while reading, before the transaction begins; never inside it.
BarcodeRecording saveBarcodes(LabDatabase& database, QString& barcodeText);

// Whether the database would record barcodeText now: the same recording (its real rows, both
// procedures) in a transaction that is rolled back. Taken: it would. RefusedAlone: it is refused
// while the recording of a comparison barcode is taken (or, with no comparison, while the
// database takes writes): the barcode's own data is refused. Throws Failure when the database
// takes no such recording at all; a connection or file that went away is opened again first.
// Call it between jobs, never inside an open transaction.
enum class RecordingCheck { Taken, RefusedAlone };
RecordingCheck checkRecording(LabDatabase& database, const QString& barcodeText,
                              const QStringList& comparisons);

// The database server's current date and time. Throws Failure.
QDateTime getServerDate(LabDatabase& database);
