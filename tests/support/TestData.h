#pragma once

#include "labdb/LabDbBuilder.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class RequestGrid;

// Lab requests, labels, print-log reading and grid probes shared by the widget tests.
namespace TestData {

// One item with its own exam row (an instrument runs it) and label barcode.
LabItem item(const QString& exam, const QString& barcode,
             const QString& instrument = QStringLiteral("HEMA"));
// An item no instrument runs: the request has no exam row for it.
LabItem itemWithoutExamRow(const QString& exam, const QString& barcode);
// A request of the recent list, entered minutesAgo minutes before now.
LabRequest request(const QString& refNum, int minutesAgo, const QList<LabItem>& items);

// The request numbers of every entry line of every day file of the print log, in file order.
QStringList loggedNumbers(const QString& logFolder);
// The barcode of every master record the lab database holds, in the order recorded.
QStringList recordedBarcodes(const LabDbBuilder& lab);
// The PDF label files in a folder (none when it does not exist).
int pdfCount(const QString& folder);
// The label files of a folder in the order they were written.
QStringList labelFiles(const QString& folder);
// The barcode scanned back from each label file, in the order written ("?" where none reads).
QStringList scannedBarcodes(const QString& folder);
// Column 1 of every data row, top down.
QStringList gridNumbers(const RequestGrid& grid);
bool rowIsMarked(const RequestGrid& grid, int row);

} // namespace TestData
