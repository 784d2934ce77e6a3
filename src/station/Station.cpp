#include "station/Station.h"

#include "app/ExitStatus.h"
#include "app/Failure.h"
#include "app/LabDatabase.h"
#include "queue/HistoryCatchUp.h"
#include "queue/HistorySettings.h"
#include "queue/StandbySettings.h"
#include "station/CheckList.h"
#include "station/HistoryControls.h"
#include "station/KeyboardPanel.h"
#include "station/LookupInput.h"
#include "station/LookupPanel.h"
#include "station/Messages.h"
#include "station/PrintCommand.h"
#include "station/QueueControls.h"
#include "station/ReportViewer.h"
#include "station/RequestGrid.h"
#include "station/StandbyControls.h"
#include "station/StationNotices.h"
#include "station/StationSettings.h"
#include "station/StationTimers.h"
#include "station/StationWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>

namespace {

constexpr int gridColumnWidthsTwips[RequestListModel::ColumnCount] = {2300, 1000, 2700, 2700, 1000,
                                                                      1000, 1000, 1000, 1000};

} // namespace

Station::Station(LabDatabase& lab, Messages& messages, QObject* parent)
    : QObject(parent)
    , m_lab(lab)
    , m_heldMessages(messages, m_activity)
    , m_window(std::make_unique<StationWindow>()) {
    const StationControls& c = m_window->controls();
    m_notices = std::make_unique<StationNotices>(c.lblStatus);
    m_timers = std::make_unique<StationTimers>(c);
    // The label journal lives beside the station log, in the user's data folder (the local one
    // on Windows: it never roams).
    m_core = std::make_unique<StationCore>(
        m_lab, m_activity, *m_notices, QString(),
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
            QStringLiteral("/label-ledger.db"));
    c.Grid1->setListModel(&m_core->list);
    c.lstExams->setChecklistModel(&m_checklist);

    m_lookup =
        std::make_unique<LookupPanel>(c, m_lab, m_heldMessages, m_activity, m_current, m_checklist);
    m_lookup->setHistory(&m_core->history);
    m_lookupInput = new LookupInput(c, *m_lookup, m_activity, this);
    m_printCommand = new PrintCommand(c, m_core->road, *m_lookup, m_current, m_checklist,
                                      m_core->list, *m_timers, m_heldMessages, m_activity, this);
    m_printCommand->setHistory(&m_core->recorder);
    m_historyControls =
        new HistoryControls(c, m_lab, m_core->log, m_core->history, *m_lookup, m_current,
                            m_heldMessages, *m_notices, m_activity, this);
    connect(m_printCommand, &PrintCommand::jobEnded, m_historyControls, &HistoryControls::jobEnded);
    connect(m_printCommand, &PrintCommand::told, this,
            [this](const QString& text) { m_notices->notice(text); });
    m_queue =
        new QueueControls(c, m_core->recent, m_core->cycle, *m_lookup, m_checklist, *m_printCommand,
                          *m_timers, m_heldMessages, *m_notices, m_activity, this);
    connect(m_lookupInput, &LookupInput::takesWindow, m_queue, &QueueControls::giveWindowBack);
    connect(m_lookupInput, &LookupInput::told, this,
            [this](const QString& text) { m_notices->notice(text); });
    ReportViewer::install(m_core->printing);

    m_window->installEventFilter(this);
    connect(c.cmdExit, &QPushButton::clicked, this, &Station::exitStation);
    connect(c.vkchkAutoPrintRequests, &QCheckBox::clicked, this, &Station::onAutoPrintBoxClick);
    connect(c.cmdKeyboard, &QPushButton::clicked, this, &Station::onKeyboardClick);
    connect(c.tmrCheckRequests, &QTimer::timeout, this, &Station::onRefreshTick);
    connect(c.tmrAutoPrint, &QTimer::timeout, this, &Station::onAutoPrintTick);
}

Station::~Station() {
    delete m_standby; // gives the lease up while the lab database is still there
    m_window->removeEventFilter(this);
}

bool Station::show() {
    try {
        load();
    } catch (const Failure& failure) {
        // Nothing of the window may run behind the message: no timer ticks into a station that
        // never loaded, no control takes input.
        m_timers->stopAll();
        m_window->setEnabled(false);
        m_heldMessages.show(failure.description(), Messages::Icon::Warning);
        exitStation();
        return false;
    }
    activate();
    startStandby();
    return true;
}

void Station::load() {
    const StationControls& c = m_window->controls();
    // The box shows the stored value; the timer follows it exactly. Setting the box from code
    // stores nothing.
    const int autoPrint = AutoPrintSetting::read();
    c.vkchkAutoPrintRequests->setChecked(autoPrint == 1);
    if (autoPrint == 1)
        c.tmrAutoPrint->start();
    else
        c.tmrAutoPrint->stop();

    for (int column = 0; column < RequestListModel::ColumnCount; ++column)
        c.Grid1->setColumnWidthTwips(column, gridColumnWidthsTwips[column],
                                     m_window->twips().dpi());

    m_window->show();
    QCoreApplication::processEvents();

    const QString folder = printLogFolderFromEnvironment();
    ensurePrintLogFolder(folder);
    m_core->setPrintLogFolder(folder);
    m_core->recorder.setStation(StandbySettings::stationName());
    m_core->recorder.setKeptMonths(HistorySettings::keptMonths());
    (new HistoryCatchUp(m_core->history, m_activity, this))->start();
    // A fault found while the station was put together (its label journal cannot be made).
    if (m_core->faults.held())
        m_notices->notice(QStringLiteral("Printing is stopped: %1\nIt prints again once the fault "
                                         "is mended.")
                              .arg(m_core->faults.reason()));
}

void Station::activate() {
    m_lookup->ResetInput(true, false, true, true);
}

void Station::EnableTimers(bool enable) {
    m_timers->EnableTimers(enable);
}

void Station::onAutoPrintBoxClick() {
    m_timers->onAutoPrintBoxClick();
}

void Station::onKeyboardClick() {
    if (!m_keyboard)
        m_keyboard = std::make_unique<KeyboardPanel>(m_window.get());
    m_keyboard->exec();
    activate();
}

void Station::exitStation() {
    if (m_exiting)
        return; // the close box re-enters here through the window's close
    m_exiting = true;
    m_timers->stopAll();
    // Work running in a yield stops at its next safe point instead of carrying on unseen.
    m_activity.requestStop();
    m_window->close();
    QCoreApplication::exit(exitNormal);
}

void Station::onRefreshTick() {
    m_queue->onRefreshTick();
}

void Station::onAutoPrintTick() {
    if (m_standby && !m_standby->mayPrintAutomatically())
        return; // another station holds the lease: this one prints by hand only
    m_queue->onAutoPrintTick();
}

bool Station::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window.get() && event->type() == QEvent::Close)
        exitStation();
    return QObject::eventFilter(watched, event);
}

void Station::startStandby() {
    const int probeSeconds = StandbySettings::probeSeconds();
    const QString lease = StandbySettings::leaseName();
    if (probeSeconds == 0 && lease.isEmpty())
        return;
    m_standby = new StandbyControls(m_lab, *m_queue, *m_notices, probeSeconds, lease,
                                    StandbySettings::stationName(), m_core->log.folder(), this);
    m_core->cycle.setFence([standby = m_standby] { return standby->mayGoOn(); });
}
