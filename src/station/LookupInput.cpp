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
    // A scan that begins while a run shows its request goes into an empty box.
    if (!m_activity.isHandJobRunning())
        Q_EMIT takesWindow();
    const QString upper = typed.toUpper();
    if (upper == QStringLiteral("'"))
        return true; // the apostrophe never reaches the box
    if (upper != typed) {
        m_controls.txtNumber->insert(upper);
        return true;
    }
    return false;
}

bool LookupInput::mayStart(const QString& refused) {
    // The lookup and the job hold the checklist and the request they work on.
    if (m_activity.isHandJobRunning()) {
        Q_EMIT told(refused + QStringLiteral(": a lookup or a print by hand was running. Do it "
                                             "again once it has ended."));
        return false;
    }
    Q_EMIT takesWindow();
    return true;
}

void LookupInput::onNumberEnter() {
    // A run's request shown in the box is given back first: only what the person typed counts.
    if (!mayStart(
            QStringLiteral("The number %1 was not looked up").arg(m_controls.txtNumber->text())))
        return;
    m_lookup.LookupRequest();
}

void LookupInput::onGridClick() {
    const StationControls& c = m_controls;
    if (c.Grid1->currentGridRow() == 0)
        return;
    const QString refNum = c.Grid1->cellText(c.Grid1->currentGridRow(), 1);
    if (!mayStart(QStringLiteral("Request %1 was not looked up").arg(refNum)))
        return;
    c.txtNumber->setText(refNum);
    m_lookup.LookupRequest(refNum);
    c.txtExams->setPlainText(c.Grid1->cellText(c.Grid1->currentGridRow(), 3));
}

void LookupInput::onCheckAllClick() {
    if (m_controls.chkAll->isChecked())
        m_controls.lstExams->tickAll();
    else
        m_controls.lstExams->untickAll();
}

void LookupInput::onResetClick() {
    if (!mayStart(QStringLiteral("Reset was not carried out")))
        return;
    m_controls.cmdGenerate->setEnabled(false);
    m_lookup.ResetInput(true, false, true, true);
}
