#include "labels/BarcodeRecorder.h"

#include "app/Failure.h"
#include "app/LabStatements.h"
#include "app/TextRules.h"

#include <QCoreApplication>
#include <QList>
#include <exception>
#include <optional>

namespace {

QString describe(const std::exception& e) {
    if (const auto* failure = dynamic_cast<const Failure*>(&e))
        return failure->description();
    return QString::fromLocal8Bit(e.what());
}

// Row counts are held as 16-bit signed numbers.
constexpr int maxRows = 32767;

QList<MasterRecord> readRows(LabDatabase& database, const QString& barcodeText) {
    const RowSet rows = database.getBarcodeRows(barcodeText);
    const int n = rows.rowCount();
    if (n > maxRows)
        throw Failure(QStringLiteral("The barcode has %1 rows, more than %2.").arg(n).arg(maxRows));
    QList<MasterRecord> kept;
    if (n == 0)
        return kept;
    kept.reserve(n);
    rows.value(0, QStringLiteral("PatientName"));
    for (int i = 0; i < n; ++i) {
        QCoreApplication::processEvents();
        MasterRecord r;
        r.refNum = rows.value(i, QStringLiteral("RefNum"));
        r.idNum = rows.value(i, QStringLiteral("IDNum"));
        r.hospNum = rows.value(i, QStringLiteral("HospNum"));
        r.barcode = rows.value(i, QStringLiteral("Barcode"));
        r.itemId = rows.value(i, QStringLiteral("ItemId"));
        r.specimenId = rows.value(i, QStringLiteral("SpecimenId"));
        r.requestNum = rows.value(i, QStringLiteral("RequestNum"));
        r.profileId = rows.value(i, QStringLiteral("ProfileId"));
        r.sectionId = rows.value(i, QStringLiteral("SectionId"));
        rows.value(i, QStringLiteral("Exam"));
        kept.append(std::move(r));
    }
    return kept;
}

// Both procedures for every row, inside the open transaction. Nothing here lets window events
// run: a handler run inside the transaction (a refresh, a box waiting for a person) would hold
// it, and the lab database's locks, for as long as it runs.
void saveRows(LabDatabase& database, const QList<MasterRecord>& kept) {
    for (const MasterRecord& r : kept) {
        database.saveMaster(r);
        const QDateTime serverTime = getServerDate(database);
        database.saveDate(r.requestNum, r.itemId, r.sectionId,
                          LabStatements::serverTimeText(serverTime));
    }
}

// The recording of barcodeText, in a transaction that is always rolled back. Throws Failure.
void rehearse(LabDatabase& database, const QString& barcodeText) {
    const QList<MasterRecord> kept = readRows(database, barcodeText);
    database.beginTransaction();
    try {
        saveRows(database, kept);
    } catch (...) {
        try {
            database.rollbackTransaction();
        } catch (const std::exception&) {
            // The first failure is the one that says what is wrong.
        }
        throw;
    }
    database.rollbackTransaction();
}

bool rehearsed(LabDatabase& database, const QString& barcodeText, QString* failure = nullptr) {
    try {
        rehearse(database, barcodeText);
        return true;
    } catch (const std::exception& e) {
        if (failure)
            *failure = describe(e);
        return false;
    }
}

} // namespace

QString BarcodeRecording::undoFailureMessage(const QString& barcodeText) const {
    if (outcome != Outcome::UndoFailed)
        return {};
    return QStringLiteral("The database could not undo the recording of barcode %1: %2")
        .arg(barcodeText, undoFailure);
}

BarcodeRecording saveBarcodes(LabDatabase& database, QString& barcodeText) {
    BarcodeRecording result;
    if (isBlank(barcodeText)) {
        barcodeText = QString();
        result.outcome = BarcodeRecording::Outcome::Blank;
        return result;
    }

    QList<MasterRecord> kept;
    try {
        // Read before the transaction begins: reading lets window events run.
        kept = readRows(database, barcodeText);
        database.beginTransaction();
    } catch (const std::exception& e) {
        // Nothing was begun, so there is nothing to undo.
        result.outcome = BarcodeRecording::Outcome::RolledBack;
        result.failure = describe(e);
        return result;
    }

    try {
        saveRows(database, kept);
        database.commitTransaction();
        result.rows = int(kept.size());
    } catch (const std::exception& e) {
        result.failure = describe(e);
        try {
            database.rollbackTransaction();
            result.outcome = BarcodeRecording::Outcome::RolledBack;
        } catch (const std::exception& undo) {
            result.outcome = BarcodeRecording::Outcome::UndoFailed;
            result.undoFailure = describe(undo);
        }
        return result;
    }

    barcodeText = QString();
    result.outcome = BarcodeRecording::Outcome::Recorded;
    return result;
}

RecordingCheck checkRecording(LabDatabase& database, const QString& barcodeText,
                              const QStringList& comparisons) {
    QString refused;
    const auto attempt = [&]() -> std::optional<RecordingCheck> {
        if (rehearsed(database, barcodeText, &refused))
            return RecordingCheck::Taken;
        for (const QString& other : comparisons) {
            if (other != barcodeText && rehearsed(database, other))
                return RecordingCheck::RefusedAlone;
        }
        return std::nullopt;
    };
    if (const std::optional<RecordingCheck> found = attempt())
        return *found;
    // Opens again a connection or file that went away; throws when the database takes no write.
    database.checkWritable();
    if (const std::optional<RecordingCheck> found = attempt())
        return *found;
    // The database takes writes, and nothing like this recording was there to compare with.
    if (comparisons.isEmpty())
        return RecordingCheck::RefusedAlone;
    throw Failure(QStringLiteral("The lab database does not record barcodes: %1").arg(refused));
}

QDateTime getServerDate(LabDatabase& database) {
    return database.serverDate();
}
