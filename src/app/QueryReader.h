#pragma once

#include "app/RowSet.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantList>

// Runs statements on a connection and reads their results whole. Every failure throws Failure
// with the database's own description.
namespace QueryReader {

// Executes text as it stands (no placeholders) on the connection.
QSqlQuery execText(const QSqlDatabase& database, const QString& text);
// Prepares text with "?" placeholders and executes it with values bound in order.
QSqlQuery execBound(const QSqlDatabase& database, const QString& text, const QVariantList& values);

// Moves past results that carry no columns (row counts of a procedure's inner statements) to the
// first result with columns. Returns false when there is none.
bool toFirstRowResult(QSqlQuery& query);
// Reads every row of the first result with columns: null -> "", a date-time -> the station's
// date-time text, anything else its default text. No result with columns gives an empty set.
RowSet readAll(QSqlQuery& query);

// Moves through every remaining result, so that an error the database reports after a first
// result (a procedure failing after a row count) is not lost, then releases the query.
void drain(QSqlQuery& query);

// The text of one value as readAll gives it.
QString text(const QVariant& value);
// A text bound as a statement value: a null text is bound as '' so it never becomes NULL.
QVariant boundText(const QString& value);

} // namespace QueryReader
