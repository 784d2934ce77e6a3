#include "station/LookupInput.h"

#include "app/StationActivity.h"
#include "station/CheckList.h"
#include "station/LookupPanel.h"
#include "station/RequestGrid.h"
#include "station/StationWindow.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

LookupInput::LookupInput(const StationControls& controls, LookupPanel& lookup,
                         StationActivity& activity, QObject* parent)
    : QObject(parent)
    , m_controls(controls)
    , m_lookup(lookup)
    , m_activity(activity) {
    controls.txtNumber->installEventFilter(this);
    connect(controls.Grid1, &RequestGrid::gridClicked, this, &LookupInput::onGridClick);
    connect(controls.chkAll, &QCheckBox::clicked, this, &LookupInput::onCheckAllClick);
    connect(controls.cmdNew, &QPushButton::clicked, this, &LookupInput::onResetClick);
}

bool LookupInput::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_controls.txtNumber || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    // Enter starts the lookup whatever shift keys are held (a scanner ends its number with it).
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        onNumberEnter();
        return true;
    }
    const QString typed = key->text();
    if (typed.isEmpty() || !typed.at(0).isPrint())
        return false;
    const QString upper = typed.toUpper();
    if (upper == QStringLiteral("'"))
        return true; // the apostrophe never reaches the box
    if (upper != typed) {
        m_controls.txtNumber->insert(upper);
        return true;
    }
    return false;
}

void LookupInput::onNumberEnter() {
    if (m_activity.isJobRunning())
        return; // dropped: a lookup or print is running; the user presses Enter again
    m_lookup.LookupRequest();
}

void LookupInput::onGridClick() {
    const StationControls& c = m_controls;
    if (c.Grid1->currentGridRow() == 0)
        return;
    if (m_activity.isJobRunning())
        return; // dropped, as for Enter
    c.txtNumber->setText(c.Grid1->cellText(c.Grid1->currentGridRow(), 1));
    m_lookup.LookupRequest();
    c.txtExams->setPlainText(c.Grid1->cellText(c.Grid1->currentGridRow(), 3));
}

void LookupInput::onCheckAllClick() {
    if (m_controls.chkAll->isChecked())
        m_controls.lstExams->tickAll();
    else
        m_controls.lstExams->untickAll();
}

void LookupInput::onResetClick() {
    if (m_activity.isJobRunning())
        return; // a running lookup or print keeps its checklist
    m_controls.cmdGenerate->setEnabled(false);
    m_lookup.ResetInput(true, false, true, true);
}
