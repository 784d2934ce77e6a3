#include "app/QueryReader.h"

#include "app/DatabaseErrorText.h"
#include "app/DateTimeText.h"
#include "app/Failure.h"

#include <QSqlError>
#include <QSqlRecord>

namespace QueryReader {

namespace {
QString describe(const QSqlError& error) {
    const QString text = DatabaseErrorText::describe(error);
    return text.isEmpty() ? QStringLiteral("The database refused the statement.") : text;
}

QSqlQuery newQuery(const QSqlDatabase& database) {
    if (!database.isOpen())
        throw Failure(QStringLiteral("The database connection is not open."));
    QSqlQuery query(database);
    query.setForwardOnly(true);
    return query;
}
} // namespace

QSqlQuery execText(const QSqlDatabase& database, const QString& text) {
    QSqlQuery query = newQuery(database);
    if (!query.exec(text))
        throw Failure(describe(query.lastError()));
    return query;
}

QSqlQuery execBound(const QSqlDatabase& database, const QString& text, const QVariantList& values) {
    QSqlQuery query = newQuery(database);
    if (!query.prepare(text))
        throw Failure(describe(query.lastError()));
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw Failure(describe(query.lastError()));
    return query;
}

bool toFirstRowResult(QSqlQuery& query) {
    while (query.record().isEmpty()) {
        if (!query.nextResult()) {
            if (query.lastError().isValid())
                throw Failure(describe(query.lastError()));
            return false;
        }
    }
    return true;
}

RowSet readAll(QSqlQuery& query) {
    if (!toFirstRowResult(query))
        return {};
    const QSqlRecord record = query.record();
    QStringList columns;
    columns.reserve(record.count());
    for (int i = 0; i < record.count(); ++i)
        columns.append(record.fieldName(i));

    QList<QStringList> rows;
    while (query.next()) {
        QStringList row;
        row.reserve(columns.size());
        for (int i = 0; i < columns.size(); ++i)
            row.append(text(query.value(i)));
        rows.append(std::move(row));
    }
    if (query.lastError().isValid())
        throw Failure(describe(query.lastError()));
    drain(query);
    return RowSet(std::move(columns), std::move(rows));
}

void drain(QSqlQuery& query) {
    while (query.nextResult()) {
    }
    if (query.lastError().isValid())
        throw Failure(describe(query.lastError()));
    query.finish();
}

QString text(const QVariant& value) {
    // A NULL read through ODBC is an invalid QVariant, through SQLite a null of the column type.
    if (!value.isValid() || value.isNull())
        return QStringLiteral("");
    if (value.metaType().id() == QMetaType::QDateTime)
        return DateTimeText::format(value.toDateTime());
    return value.toString();
}

QVariant boundText(const QString& value) {
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

} // namespace QueryReader
