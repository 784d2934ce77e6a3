#include "station/CheckList.h"

#include "lookup/ExamChecklistModel.h"

#include <QItemSelectionModel>

CheckList::CheckList(QWidget* parent)
    : QListView(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void CheckList::setChecklistModel(ExamChecklistModel* model) {
    if (m_model == model)
        return;
    m_model = model;
    // The view makes a new selection model for every model it is given and keeps the old one;
    // an automatic run switches models twice a request, so the old one goes.
    QItemSelectionModel* old = selectionModel();
    setModel(model);
    delete old;
}

int CheckList::entryCount() const {
    return m_model ? m_model->entryCount() : 0;
}

QString CheckList::entryText(int n) const {
    return m_model ? m_model->entryText(n - 1) : QString();
}

bool CheckList::isTicked(int n) const {
    return m_model && m_model->isTicked(n - 1);
}

void CheckList::setTicked(int n, bool ticked) {
    if (m_model)
        m_model->setTicked(n - 1, ticked);
}

void CheckList::tickAll() {
    if (m_model)
        m_model->tickAll();
}

void CheckList::untickAll() {
    if (m_model)
        m_model->untickAll();
}
