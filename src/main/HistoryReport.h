#pragma once

#include <QIODevice>
#include <QString>
#include <QStringList>

// "quillon --history": the lab's label history as CSV (RFC 4180, UTF-8) on the standard output,
// with no window: the events of a request number or a label's barcode, or of the days from one
// date to another ("yyyy-MM-dd yyyy-MM-dd", both included). Nothing printed gives the header
// alone. Returns the exit status; a fault is told on err.
class HistoryReport {
public:
    // folder: the print-log folder; indexPath: the station's local index of the history.
    HistoryReport(QString folder, QString indexPath)
        : m_folder(std::move(folder))
        , m_indexPath(std::move(indexPath)) {}

    int run(const QStringList& arguments, QIODevice& out, QString& error) const;

private:
    QString m_folder;
    QString m_indexPath;
};
