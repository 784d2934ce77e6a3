#include "station/LookupPanel.h"

#include "app/Failure.h"
#include "app/StationActivity.h"
#include "app/StationLog.h"
#include "lookup/CurrentRequest.h"
#include "lookup/ExamChecklistModel.h"
#include "queue/HistoryView.h"
#include "station/CheckList.h"
#include "station/Messages.h"
#include "station/StationFrame.h"
#include "station/StationWindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

LookupPanel::LookupPanel(const StationControls& controls, LabDatabase& lab, Messages& messages,
                         StationActivity& activity, CurrentRequest& current,
                         ExamChecklistModel& checklist)
    : m_controls(controls)
    , m_lab(lab)
    , m_messages(messages)
    , m_activity(activity)
    , m_current(current)
    , m_checklist(checklist) {}

LookupOutcome LookupPanel::LookupRequest(const QString& knownRefNum) {
    LookupOutcome outcome = LookupOutcome::Failed;
    QString failure;
    {
        const StationActivity::Scope running(m_activity, StationActivity::Kind::Lookup);
        try {
            outcome = lookup(knownRefNum);
        } catch (const Failure& error) {
            failure = error.description();
        } catch (const std::exception& error) {
            failure = QString::fromLocal8Bit(error.what());
        }
    }
    // The lookup is over before its box waits for a person, so automatic printing goes on
    // behind the box.
    if (!failure.isEmpty()) {
        qCWarning(lcLookup).noquote() << "lookup failed:" << failure;
        m_messages.show(failure, Messages::Icon::Warning);
    } else if (outcome == LookupOutcome::NotFound) {
        const StationControls& c = m_controls;
        m_messages.show(QStringLiteral("Sample not found!"), Messages::Icon::Warning);
        c.lblPatientName->clear();
        c.txtNumber->clear();
        c.txtNumber->setFocus();
    }
    return outcome;
}

LookupOutcome LookupPanel::lookup(const QString& knownRefNum) {
    const StationControls& c = m_controls;
    m_checklist.clear();
    m_current.clearSingleFields();

    const QString number = c.txtNumber->text();
    FoundRequest found = findRequest(m_lab, number, m_activity);
    switch (found.outcome) {
    case LookupOutcome::Blank:
        c.txtNumber->setFocus();
        return found.outcome;
    case LookupOutcome::NotFound: // told once the lookup is over
    case LookupOutcome::Failed:
        return found.outcome;
    case LookupOutcome::Loaded:
        break;
    }
    // Filed under the database's spelling, so a number typed in another letter case is the same
    // request as its row, and the automatic run does not print it again.
    if (found.request.RefNum.isEmpty())
        found.request.RefNum = knownRefNum;
    learnRefNum(m_lab, found.request);

    ResetInput(false, true, false, false);
    m_current = std::move(found.request);
    c.lblPatientName->setText(m_current.PatientName);
    for (const QString& entry : found.entries)
        m_checklist.appendEntry(entry);
    if (m_history)
        HistoryView::show(*m_history, m_current, m_checklist);
    if (m_checklist.entryCount() >= 1) {
        m_checklist.tickAll();
        c.chkAll->setChecked(true);
        // Reset and the end of a print job disable Print; a loaded request makes it usable again.
        c.cmdGenerate->setEnabled(true);
        c.cmdGenerate->setFocus();
    } else {
        c.cmdNew->setFocus();
    }
    return LookupOutcome::Loaded;
}

void LookupPanel::ResetInput(bool searchEnabled, bool examsEnabled, bool clearNumber,
                             bool focusNumber) {
    const StationControls& c = m_controls;
    c.fraSearch->setEnabled(searchEnabled);
    c.fraExams->setEnabled(examsEnabled);
    if (clearNumber)
        c.txtNumber->clear();
    if (focusNumber)
        c.txtNumber->setFocus();
    m_checklist.clear();
    c.chkAll->setChecked(false);
    c.lblPatientName->clear();
    c.txtCopies->setText(QStringLiteral("1"));
    c.fraSearch->takeFocus();
}

bool LookupPanel::isLoaded() const {
    return m_controls.fraExams->isEnabled() && m_checklist.entryCount() > 0;
}
