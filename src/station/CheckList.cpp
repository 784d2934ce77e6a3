#include "station/CheckList.h"

CheckList::CheckList(QWidget* parent)
    : QListWidget(parent) {
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void CheckList::appendEntry(const QString& text) {
    auto* item = new QListWidgetItem(text, this); // owned by the list
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Unchecked);
}

QString CheckList::entryText(int n) const {
    const QListWidgetItem* entry = item(n - 1);
    return entry ? entry->text() : QString();
}

bool CheckList::isTicked(int n) const {
    const QListWidgetItem* entry = item(n - 1);
    return entry && entry->checkState() == Qt::Checked;
}

void CheckList::setTicked(int n, bool ticked) {
    if (QListWidgetItem* entry = item(n - 1))
        entry->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

void CheckList::tickAll() {
    for (int i = 0; i < count(); ++i)
        item(i)->setCheckState(Qt::Checked);
}

void CheckList::untickAll() {
    for (int i = 0; i < count(); ++i)
        item(i)->setCheckState(Qt::Unchecked);
}
