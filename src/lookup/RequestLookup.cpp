#include "lookup/RequestLookup.h"

#include "app/Failure.h"
#include "app/LabDatabase.h"
#include "lookup/LookupKind.h"
#include "station/CheckList.h"
#include "station/Messages.h"
#include "station/StationActivity.h"
#include "station/StationFrame.h"
#include "station/StationWindow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

RequestLookup::RequestLookup(const StationControls& controls, LabDatabase& lab, Messages& messages,
                             StationActivity& activity, CurrentRequest& current)
    : m_controls(controls)
    , m_lab(lab)
    , m_messages(messages)
    , m_activity(activity)
    , m_current(current) {}

LookupOutcome RequestLookup::LookupRequest() {
    const StationActivity::Scope running(m_activity, StationActivity::Kind::Lookup);
    try {
        return lookup();
    } catch (const Failure& failure) {
        m_messages.show(failure.description(), Messages::Icon::Warning);
    } catch (const std::exception& error) {
        m_messages.show(QString::fromLocal8Bit(error.what()), Messages::Icon::Warning);
    }
    return LookupOutcome::Failed;
}

LookupOutcome RequestLookup::lookup() {
    const StationControls& c = m_controls;
    c.lstExams->clear();
    m_current.clearSingleFields();

    const QString number = c.txtNumber->text();
    if (number.trimmed().isEmpty()) {
        c.txtNumber->setFocus();
        return LookupOutcome::Blank;
    }
    const RowSet rows = m_lab.getRequests(number, lookupKind(number));
    if (rows.rowCount() < 1) {
        m_messages.show(QStringLiteral("Sample not found!"), Messages::Icon::Warning);
        c.lblPatientName->clear();
        c.txtNumber->clear();
        c.txtNumber->setFocus();
        return LookupOutcome::NotFound;
    }

    ResetInput(false, true, false, false);
    const int count = rows.rowCount();
    m_current.Barcodes = QStringList(count);
    m_current.Instruments = QStringList(count);
    m_current.LookedUpNumber = number;
    m_current.HospNum = rows.value(0, QStringLiteral("HospNum"));
    m_current.PatientName = rows.value(0, QStringLiteral("PatientName"));
    m_current.TransDate = rows.value(0, QStringLiteral("TransDate"));
    m_current.RoomID = rows.value(0, QStringLiteral("RoomID"));
    m_current.Age = rows.value(0, QStringLiteral("Age"));
    m_current.Sex = rows.value(0, QStringLiteral("Sex"));
    c.lblPatientName->setText(m_current.PatientName);

    // Handlers that would touch the checklist or CurrentRequest do not start while a lookup
    // runs (StationActivity), so entry k + 1 stays with element k through the yields.
    // The list is painted once, when complete, not once per row at every yield.
    c.lstExams->setUpdatesEnabled(false);
    const auto repaint = qScopeGuard([&c] { c.lstExams->setUpdatesEnabled(true); });
    for (int k = 0; k < count; ++k) {
        QCoreApplication::processEvents();
        if (m_activity.stopRequested())
            return LookupOutcome::Failed;
        m_current.Barcodes[k] = rows.value(k, QStringLiteral("Barcode"));
        m_current.Instruments[k] = rows.value(k, QStringLiteral("Instrument"));
        c.lstExams->appendEntry(checklistEntry(m_current.Barcodes[k], m_current.Instruments[k]));
    }

    if (c.lstExams->entryCount() >= 1) {
        c.lstExams->tickAll();
        c.chkAll->setChecked(true);
        // Reset and the end of a print job disable Print; a loaded request makes it usable again.
        c.cmdGenerate->setEnabled(true);
        c.cmdGenerate->setFocus();
    } else {
        c.cmdNew->setFocus();
    }
    return LookupOutcome::Loaded;
}

void RequestLookup::ResetInput(bool searchEnabled, bool examsEnabled, bool clearNumber,
                               bool focusNumber) {
    const StationControls& c = m_controls;
    c.fraSearch->setEnabled(searchEnabled);
    c.fraExams->setEnabled(examsEnabled);
    if (clearNumber)
        c.txtNumber->clear();
    if (focusNumber)
        c.txtNumber->setFocus();
    c.lstExams->clear();
    c.chkAll->setChecked(false);
    c.lblPatientName->clear();
    c.txtCopies->setText(QStringLiteral("1"));
    c.fraSearch->takeFocus();
}
