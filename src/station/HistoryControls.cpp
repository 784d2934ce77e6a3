#include "station/HistoryControls.h"

#include "app/Failure.h"
#include "app/StationActivity.h"
#include "app/StationLog.h"
#include "lookup/CurrentRequest.h"
#include "queue/HistorySettings.h"
#include "queue/LabelHistory.h"
#include "queue/Notices.h"
#include "station/CheckList.h"
#include "station/LookupPanel.h"
#include "station/Messages.h"
#include "station/StationWindow.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

HistoryControls::HistoryControls(const StationControls& controls, LabDatabase& lab, PrintLog& log,
                                 LabelHistory& history, LookupPanel& lookup,
                                 const CurrentRequest& current, Messages& messages,
                                 Notices& notices, StationActivity& activity, QObject* parent)
    : QObject(parent)
    , m_controls(controls)
    , m_history(history)
    , m_lookup(lookup)
    , m_current(current)
    , m_messages(messages)
    , m_notices(notices)
    , m_activity(activity)
    , m_check(lab, log, history) {
    connect(controls.cmdUnprinted, &QPushButton::clicked, this, &HistoryControls::onUnprintedClick);
    connect(&m_timer, &QTimer::timeout, this, &HistoryControls::checkLeftList);
    m_timer.start(60 * 1000);
    // The first ask comes soon after the start: a station started after a night off tells at
    // once what the night left behind.
    QTimer::singleShot(10 * 1000, this, &HistoryControls::checkLeftList);
    auto* save = new QAction(QStringLiteral("Save this request's label history as CSV..."),
                             controls.lstExams);
    controls.lstExams->addAction(save);
    controls.lstExams->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(save, &QAction::triggered, this, [this] {
        if (!m_lookup.isLoaded())
            return;
        const QString path = QFileDialog::getSaveFileName(
            nullptr, QStringLiteral("Label history"),
            QStringLiteral("label-history-%1.csv").arg(m_current.requestNumber()),
            QStringLiteral("CSV (*.csv)"));
        QString reason;
        if (!path.isEmpty() && !saveHistory(path, reason))
            m_messages.show(reason, Messages::Icon::Warning);
    });
}

void HistoryControls::checkLeftList() {
    if (m_activity.isAnythingRunning() || !m_check.due(QDateTime::currentDateTime()))
        return;
    const int hours = HistorySettings::leftListHours();
    try {
        show(m_check.find(hours));
    } catch (const Failure& failure) {
        qCWarning(lcQueue).noquote()
            << QStringLiteral("requests that left the list unprinted could not be asked for: %1")
                   .arg(failure.description());
    }
}

void HistoryControls::jobEnded() {
    if (m_check.found().isEmpty())
        return;
    try {
        show(m_check.recheck());
    } catch (const Failure&) {
        // The next ask tells it.
    }
}

void HistoryControls::show(const QList<LeftListCheck::Request>& found) {
    QPushButton* button = m_controls.cmdUnprinted;
    button->setText(QStringLiteral("Unprinted (%1)").arg(found.size()));
    button->setVisible(!found.isEmpty());
    if (int(found.size()) == m_told)
        return;
    m_told = int(found.size());
    if (found.isEmpty())
        return;
    QStringList numbers;
    for (const LeftListCheck::Request& request : found)
        numbers.append(request.refNum);
    m_notices.notice(QStringLiteral("%1 request(s) left the list unprinted: %2. Press Unprinted "
                                    "to look them up and print them by hand.")
                         .arg(found.size())
                         .arg(numbers.join(QStringLiteral(", "))));
}

void HistoryControls::onUnprintedClick() {
    if (m_activity.isJobRunning())
        return;
    QStringList choices;
    for (const LeftListCheck::Request& request : m_check.found())
        choices.append(request.refNum + QStringLiteral("   ") + request.transDate);
    if (choices.isEmpty())
        return;
    const std::optional<QString> chosen =
        m_messages.choose(QStringLiteral("Requests that left the list unprinted. Choose one to "
                                         "look it up, then press Print:"),
                          choices, false);
    const qsizetype at = chosen ? choices.indexOf(*chosen) : -1;
    if (at < 0)
        return;
    m_controls.txtNumber->setText(m_check.found().at(at).refNum);
    m_lookup.LookupRequest(m_check.found().at(at).refNum);
}

bool HistoryControls::saveHistory(const QString& path, QString& reason) {
    QFile file(path);
    try {
        QList<LabelEvent> events = m_history.ofRequest(m_current.requestNumber());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            reason = file.errorString();
            return false;
        }
        file.write(LabelEvent::csvHeader());
        for (const LabelEvent& e : events)
            file.write(e.csvRecord());
    } catch (const Failure& failure) {
        reason = failure.description();
        return false;
    }
    return true;
}
