#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// The recent request list: one row per request number, nine columns (TransDate, RefNum,
// PatientName, Exam, HospNum, IdNum, Req.Num, Printed, and one without header). Rows are only
// ever appended, or all removed. Each row has a print state: pending, printed (the print log
// holds it) or failed (its last print could not be finished; the reason is the row's tool tip).
class RequestListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class State { Pending, Printed, Failed };
    enum Column { TransDate = 0, RefNum = 1, Exam = 3, Printed = 7, ColumnCount = 9 };
    // Qt::UserRole + 1: the row's State as an int.
    static constexpr int StateRole = Qt::UserRole + 1;
    // Row counters are 16-bit: the list never holds more rows than this.
    static constexpr int maxRows = 32767;

    static QColor printedColour() { return QColor(163, 194, 241); }
    static QColor failedColour() { return QColor(244, 176, 176); }

    explicit RequestListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Appends a row whose cells from column 0 hold the values as they are. Returns false, adding
    // nothing, when the list is full.
    bool appendRow(const QStringList& values);
    // Removes every row.
    void clear();
    // Removes every row marked printed, keeping the order of the others; returns how many went.
    // Row numbers change: never while a run walks the list.
    int dropPrinted();

    // The row (from 0) whose RefNum is refNum exactly, or -1.
    int rowOf(const QString& refNum) const;
    QString cellText(int row, int column) const;
    void setCellText(int row, int column, const QString& text);
    QString refNum(int row) const { return cellText(row, RefNum); }
    QString transDate(int row) const { return cellText(row, TransDate); }

    State state(int row) const;
    QString failure(int row) const;
    void markPrinted(int row);
    void markFailed(int row, const QString& reason);
    void markPending(int row);

private:
    struct Row {
        QStringList cells;
        State state = State::Pending;
        QString failure;
    };
    void setState(int row, State state, const QString& failure);

    QList<Row> m_rows;
    QHash<QString, int> m_rowOf;
};
