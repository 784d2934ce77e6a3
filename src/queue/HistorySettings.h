#pragma once

#include <QString>
#include <QStringList>

// The lab's settings of the label history, in the station's settings store (application
// "Wrenfold", section "LabBarcodes"), each read when it is used.
namespace HistorySettings {

// "HistoryKeptMonths": months of history kept before a station removes a month file (default
// 24; a value below 24 counts as 24, so no station removes a file sooner than two years).
int keptMonths();
// "AskReprintReason": 1 makes Print ask why before printing a label the history holds as
// printed (default 0).
bool askReprintReason();
// "ReprintReasons": the reasons offered, separated by "|" (a short default list when unset).
QStringList reprintReasons();
// "LeftListHours": how far back requests that left the list unprinted are looked for (default
// 24, from 7 to 168).
int leftListHours();

// The parsing rules, for the tests.
int parseKeptMonths(const QString& stored);
int parseLeftListHours(const QString& stored);
QStringList parseReasons(const QString& stored);

} // namespace HistorySettings
