#pragma once

#include "app/LabDatabase.h"

#include <QDateTime>
#include <QString>

// The SQL Server texts the station sends, each kept here exactly as the laboratory database
// expects it. Every value is written as a literal between single quotes with each single quote
// inside it doubled, so the procedures receive the value unchanged and nothing can end the
// literal early.
namespace LabStatements {

// "'" + value with every "'" doubled + "'".
QString literal(const QString& value);

QString recentRequests();
// The recent query with "and A.Transdate < '<before>'" before its ordering, before written to
// the second as "yyyy-MM-ddTHH:mm:ss" (a fraction is dropped).
QString olderRecentRequests(const QDateTime& before);
// Per request of the window: RefNum, Items, Labels (a checksum over its items and barcodes). The
// window's start is computed from getdate() alone and compared with the bare Transdate, so an index
// on Transdate serves it.
QString requestFingerprints();
QString requestExams(const QString& refNum);
// kind is 3 or 2 and is written as its one decimal digit.
QString getRequests(const QString& number, int kind);
QString getBarcodeRows(const QString& barcode);
QString saveMaster(const MasterRecord& record);
QString serverDate();
// The server's name and the database's: columns servername, dbname.
QString databaseIdentity();
QString saveDate(const QString& requestNum, const QString& itemId, const QString& sectionId,
                 const QString& serverTime);

// One Lab_Barcode_SaveDate call inside a transaction that is always rolled back, its lock wait
// bounded to 5 seconds; fails with the server's own text when the write is refused.
QString writeCheck();
// Sent after a failed write check: rolls back whatever transaction it may have left open (an
// error that ends the batch skips its own handler) and puts the lock wait back.
QString endWriteCheck();

// The server time as a text that SQL Server reads the same way under every language and
// DATEFORMAT setting: ISO 8601 "yyyy-MM-ddTHH:mm:ss.zzz", and at exactly midnight the date alone
// as "yyyyMMdd".
QString serverTimeText(const QDateTime& serverTime);

// The change probe: items (the count) and newest (the latest Transdate) of the window's item rows.
// The bare Transdate is compared with a bound the server computes once from its clock (the start
// of the minute 359 minutes back, the recent query's window), so an index on Transdate answers it.
QString changeProbe();

// Requests that left the recent list's window: older than its start (as changeProbe) and no
// older than hours hours by the server's clock, with the recent query's conditions; RefNum,
// transdate, newest first, at most 500 rows. hours is written as its decimal digits.
QString leftListRequests(int hours);

// The lab-wide lease for automatic printing, an application lock owned by the session: the server
// drops it when the connection ends. Each result is one row of one column.
// result: 0 when taken now, -1 when another session holds it (no wait).
QString takeLease(const QString& lease);
// mode: "Exclusive" while this session holds it, else "NoLock".
QString leaseMode(const QString& lease);
// free: 1 when it could be taken now, else 0.
QString leaseFree(const QString& lease);
QString releaseLease(const QString& lease);

} // namespace LabStatements
