#pragma once

#include "queue/LabelEvent.h"

#include <QDate>
#include <QList>
#include <QString>
#include <functional>

// The lab's label history: every label event of every station, in the shared print-log folder,
// one append-only UTF-8 text file per month of the events' time, "LabelHistory yyyy-MM.tsv",
// one line per event (LabelEvent::line: tab-separated fields ending with a checksum). A line
// counts only when it is whole: ended by LF, with its checksum right. A last line without its
// end is what a kill left of an append; the next append cuts it off. Appends take the file lock
// (FileLock.h), skip events whose id the file holds already, and are synced, so stations append
// side by side and an append repeated after a kill adds nothing twice.
//
// Questions by request or barcode are answered from a local index (a SQLite file of the
// station's own), brought up to date before each question by reading each month file from where
// it was read last. Files of months older than the kept period are removed.
class LabelHistory {
public:
    // indexPath: the local index's file; empty keeps it in memory.
    explicit LabelHistory(const QString& indexPath);
    ~LabelHistory();
    LabelHistory(const LabelHistory&) = delete;
    LabelHistory& operator=(const LabelHistory&) = delete;

    void setFolder(const QString& folder) { m_folder = folder; }
    // Runs before every append and throws Failure when the folder must not be written now (the
    // print log's: not the folder the station started with).
    void setFolderCheck(std::function<void()> check) { m_folderCheck = std::move(check); }
    const QString& folder() const { return m_folder; }
    static QString monthFileName(const QDate& day);

    // Appends the events not yet in their month's file, whole and synced. Throws Failure saying
    // why when a file cannot be locked, read or written; what was appended stays.
    void append(const QList<LabelEvent>& events);

    // The events of a request (its key) or of a barcode, oldest first. Month files that cannot
    // be read now count with what was read of them before.
    QList<LabelEvent> ofRequest(const QString& request);
    QList<LabelEvent> ofBarcode(const QString& barcode);
    // The events of each barcode, once however often it is listed (one update of the index).
    QList<LabelEvent> ofBarcodes(const QStringList& barcodes);
    // Every event from the first day to the last (inclusive), read from the month files in time
    // order; throws Failure when a month file that is there cannot be read.
    void forEachBetween(const QDate& first, const QDate& last,
                        const std::function<void(const LabelEvent&)>& take) const;

    // Brings the index up to date by at most about maxBytes of one month file (every file whole
    // when maxBytes is negative); true when something was read, so more may remain. A step
    // throws Failure when a month file cannot be read. A station new
    // to the lab reads years of history in such steps while idle, rather than all at its first
    // question.
    bool catchUp(qint64 maxBytes);

    // Removes month files whose month ended more than keptMonths months before today.
    void removeExpired(int keptMonths, const QDate& today);

    static constexpr int defaultKeptMonths = 24;

private:
    void openIndex();
    // Reads what each month file gained since it was read last into the index.
    void update();
    // Reads what the file gained (at most about maxBytes of it); false when nothing was read.
    bool updateFile(const QString& path, qint64 maxBytes = -1);
    QList<LabelEvent> select(const QString& where, const QVariant& value);
    QList<LabelEvent> selectIndexed(const QString& where, const QVariant& value);

    QString m_indexPath;
    QString m_connection;
    QString m_folder;
    std::function<void()> m_folderCheck;
    bool m_open = false;
};
