#include "station/Station.h"

#include "app/Failure.h"
#include "app/Startup.h"
#include "labels/LabelPrinting.h"
#include "labels/PrintCommand.h"
#include "labels/ReportViewer.h"
#include "lookup/LookupInput.h"
#include "lookup/RequestLookup.h"
#include "queue/AutoPrintCycle.h"
#include "queue/PrintLog.h"
#include "queue/PrintedMarks.h"
#include "queue/RecentRequests.h"
#include "station/KeyboardPanel.h"
#include "station/Messages.h"
#include "station/RequestGrid.h"
#include "station/StationSettings.h"
#include "station/StationWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QPushButton>
#include <QTimer>

namespace {

struct GridColumn {
    const char* header;
    int widthTwips;
};

constexpr GridColumn gridColumns[RequestGrid::columnsCount] = {
    {"TransDate", 2300}, {"RefNum", 1000},  {"PatientName", 2700},
    {"Exam", 2700},      {"HospNum", 1000}, {"IdNum", 1000},
    {"Req.Num", 1000},   {"Printed", 1000}, {"", 1000},
};

} // namespace

Station::Station(LabDatabase& lab, Messages& messages, QObject* parent)
    : QObject(parent)
    , m_lab(lab)
    , m_messages(messages)
    , m_window(std::make_unique<StationWindow>()) {
    const StationControls& c = m_window->controls();
    m_lookup = std::make_unique<RequestLookup>(c, m_lab, m_messages, m_activity, m_current);
    m_lookupInput = new LookupInput(c, *m_lookup, m_activity, this);
    m_labelPrinting = std::make_unique<LabelPrinting>();
    ReportViewer::install(*m_labelPrinting);
    m_printCommand = new PrintCommand(*this, this);
    m_recent = new RecentRequests(*this, this);
    m_cycle = new AutoPrintCycle(*this, this);
    m_window->installEventFilter(this);
    connect(c.cmdExit, &QPushButton::clicked, this, &Station::exitStation);
    connect(c.vkchkAutoPrintRequests, &QCheckBox::clicked, this, &Station::onAutoPrintBoxClick);
    connect(c.cmdKeyboard, &QPushButton::clicked, this, &Station::onKeyboardClick);
    connect(c.tmrCheckRequests, &QTimer::timeout, this, &Station::onRefreshTick);
    connect(c.tmrAutoPrint, &QTimer::timeout, this, &Station::onAutoPrintTick);
}

Station::~Station() {
    m_window->removeEventFilter(this);
}

bool Station::show() {
    try {
        load();
    } catch (const Failure& failure) {
        m_messages.show(failure.description(), Messages::Icon::Warning);
        exitStation();
        return false;
    }
    activate();
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

    for (int column = 0; column < RequestGrid::columnsCount; ++column) {
        c.Grid1->setColumnWidthTwips(column, gridColumns[column].widthTwips,
                                     m_window->twips().dpi());
        if (column < 8)
            c.Grid1->setCellText(0, column, QLatin1String(gridColumns[column].header));
    }

    m_window->show();
    QCoreApplication::processEvents();

    m_printLogFolder = printLogFolderFromEnvironment();
    ensurePrintLogFolder(m_printLogFolder);
    m_printLog = std::make_unique<PrintLog>(m_printLogFolder);
    m_marks = std::make_unique<PrintedMarks>(*c.Grid1, *m_printLog);
}

void Station::activate() {
    m_lookup->ResetInput(true, false, true, true);
}

void Station::EnableTimers(bool enable) {
    const StationControls& c = m_window->controls();
    const auto setEnabled = [](QTimer* timer, bool on) {
        if (on)
            timer->start();
        else
            timer->stop();
    };
    setEnabled(c.tmrCheckRequests, enable);
    setEnabled(c.tmrAutoPrint, enable);
    if (enable)
        setEnabled(c.tmrAutoPrint, c.vkchkAutoPrintRequests->isChecked());
}

void Station::onAutoPrintBoxClick() {
    const StationControls& c = m_window->controls();
    const int value = c.vkchkAutoPrintRequests->isChecked() ? 1 : 0;
    if (value == 1)
        c.tmrAutoPrint->start();
    else
        c.tmrAutoPrint->stop();
    AutoPrintSetting::write(value);
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
    const StationControls& c = m_window->controls();
    c.tmrCheckRequests->stop();
    c.tmrAutoPrint->stop();
    // Work running in a yield stops at its next safe point instead of carrying on unseen.
    m_activity.requestStop();
    m_window->close();
    QCoreApplication::exit(exitNormal);
}

void Station::onRefreshTick() {
    m_recent->onRefreshTick();
}

void Station::onAutoPrintTick() {
    m_cycle->onAutoPrintTick();
}

bool Station::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window.get() && event->type() == QEvent::Close)
        exitStation();
    return QObject::eventFilter(watched, event);
}
