#include "labels/BarcodeRecorder.h"

#include "app/Failure.h"
#include "app/LabStatements.h"
#include "app/TextRules.h"

#include <QCoreApplication>
#include <QList>
#include <exception>

namespace {

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

// Returns the number of rows recorded.
int record(LabDatabase& database, const QString& barcodeText) {
    const QList<MasterRecord> kept = readRows(database, barcodeText);
    for (const MasterRecord& r : kept) {
        QCoreApplication::processEvents();
        database.saveMaster(r);
        const QDateTime serverTime = getServerDate(database);
        database.saveDate(r.requestNum, r.itemId, r.sectionId,
                          LabStatements::serverTimeText(serverTime));
    }
    database.commitTransaction();
    return int(kept.size());
}

QString describe(const std::exception& e) {
    if (const auto* failure = dynamic_cast<const Failure*>(&e))
        return failure->description();
    return QString::fromLocal8Bit(e.what());
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

    try {
        database.beginTransaction();
    } catch (const std::exception& e) {
        // Nothing was begun, so there is nothing to undo.
        result.outcome = BarcodeRecording::Outcome::RolledBack;
        result.failure = describe(e);
        return result;
    }

    try {
        result.rows = record(database, barcodeText);
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

QDateTime getServerDate(LabDatabase& database) {
    return database.serverDate();
}
