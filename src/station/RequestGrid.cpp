#include "station/RequestGrid.h"

#include "queue/RequestListModel.h"

#include <QHeaderView>

RequestGrid::RequestGrid(QWidget* parent)
    : QTableView(parent) {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
    setWordWrap(false);
    connect(this, &QTableView::clicked, this, [this](const QModelIndex& index) {
        m_currentRow = index.row() + 1;
        Q_EMIT gridClicked();
    });
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int) {
        m_currentRow = 0;
        Q_EMIT gridClicked();
    });
}

void RequestGrid::setListModel(RequestListModel* model) {
    m_model = model;
    setModel(model);
}

int RequestGrid::rows() const {
    return (m_model ? m_model->rowCount() : 0) + 1;
}

void RequestGrid::setRows(int rows) {
    if (rows <= 1 && m_model)
        m_model->clear();
    if (m_currentRow >= this->rows())
        m_currentRow = 0;
}

QString RequestGrid::cellText(int row, int column) const {
    if (!m_model)
        return {};
    if (row == 0)
        return m_model->headerData(column, Qt::Horizontal).toString();
    return m_model->cellText(row - 1, column);
}

QColor RequestGrid::cellBackColour(int row, int column) const {
    if (!m_model || row <= 0)
        return {};
    return m_model->data(m_model->index(row - 1, column), Qt::BackgroundRole).value<QColor>();
}

bool RequestGrid::appendRow(const QStringList& values) {
    return m_model && m_model->appendRow(values);
}

bool RequestGrid::appendTabRow(const QString& tabSeparated) {
    return appendRow(tabSeparated.split(QLatin1Char('\t')));
}

void RequestGrid::setColumnWidthTwips(int column, int twips, qreal dpi) {
    setColumnWidth(column, qRound(twips * dpi / 1440.0));
}
