#include "station/RequestGrid.h"

#include <QHeaderView>

RequestGrid::RequestGrid(QWidget* parent)
    : QTableWidget(0, columnsCount, parent) {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
    setWordWrap(false);
    connect(this, &QTableWidget::cellClicked, this, [this](int row, int) {
        m_currentRow = row + 1;
        Q_EMIT gridClicked();
    });
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int) {
        m_currentRow = 0;
        Q_EMIT gridClicked();
    });
}

void RequestGrid::setRows(int rows) {
    setRowCount(qMax(0, rows - 1));
    if (m_currentRow >= this->rows())
        m_currentRow = 0;
}

QString RequestGrid::cellText(int row, int column) const {
    if (row == 0) {
        const QTableWidgetItem* header = horizontalHeaderItem(column);
        return header ? header->text() : QString();
    }
    const QTableWidgetItem* cell = item(row - 1, column);
    return cell ? cell->text() : QString();
}

void RequestGrid::setCellText(int row, int column, const QString& text) {
    if (row == 0) {
        setHorizontalHeaderItem(column, new QTableWidgetItem(text));
        return;
    }
    QTableWidgetItem* cell = item(row - 1, column);
    if (!cell) {
        cell = new QTableWidgetItem;
        setItem(row - 1, column, cell);
    }
    cell->setText(text);
}

bool RequestGrid::appendTabRow(const QString& tabSeparated) {
    return appendRow(tabSeparated.split(QLatin1Char('\t')));
}

bool RequestGrid::appendRow(const QStringList& values) {
    if (rowCount() >= maxDataRows)
        return false;
    const int row = rowCount();
    insertRow(row);
    for (int column = 0; column < columnsCount; ++column)
        setItem(row, column, new QTableWidgetItem(values.value(column)));
    return true;
}

QColor RequestGrid::cellBackColour(int row, int column) const {
    const QTableWidgetItem* cell = row > 0 ? item(row - 1, column) : nullptr;
    return cell ? cell->background().color() : QColor();
}

void RequestGrid::setCellBackColour(int row, int column, const QColor& colour) {
    if (row <= 0)
        return;
    QTableWidgetItem* cell = item(row - 1, column);
    if (!cell) {
        cell = new QTableWidgetItem;
        setItem(row - 1, column, cell);
    }
    cell->setBackground(colour);
}

void RequestGrid::setColumnWidthTwips(int column, int twips, qreal dpi) {
    setColumnWidth(column, qRound(twips * dpi / 1440.0));
}
