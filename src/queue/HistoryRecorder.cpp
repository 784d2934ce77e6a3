#include "queue/HistoryRecorder.h"

#include "app/DateTimeText.h"
#include "app/Failure.h"
#include "app/StationLog.h"
#include "queue/LabelHistory.h"
#include "queue/LabelLedger.h"
#include "queue/Notices.h"

#include <QSysInfo>

HistoryRecorder::HistoryRecorder(LabelHistory& history, LabelLedger& journal, Notices& notices)
    : m_history(history)
    , m_journal(journal)
    , m_notices(notices)
    , m_station(QSysInfo::machineHostName())
    , m_account(qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME")))
    , m_keptMonths(LabelHistory::defaultKeptMonths) {}

LabelEvent HistoryRecorder::event(LabelEvent::Kind kind, const QString& request,
                                  const QString& barcode, int occurrence) {
    LabelEvent e;
    e.id = LabelEvent::newId(m_station);
    e.time = DateTimeText::now();
    e.station = m_station;
    e.account = m_account;
    e.request = request;
    e.barcode = barcode;
    e.occurrence = occurrence;
    e.kind = kind;
    if (kind == LabelEvent::Kind::Printed)
        e.reprint = printedBefore({barcode}).contains(e.labelId());
    return e;
}

QSet<QString> HistoryRecorder::printedBefore(const QStringList& barcodes) {
    QSet<QString> printed;
    const auto take = [&](const LabelEvent& e) {
        if (e.kind == LabelEvent::Kind::Printed && barcodes.contains(e.barcode))
            printed.insert(e.labelId());
    };
    try {
        for (const LabelLedger::OwedEvent& owed : m_journal.owedEvents()) {
            if (const std::optional<LabelEvent> e = LabelEvent::fromLine(owed.line.chopped(1)))
                take(*e);
        }
        for (const LabelEvent& e : m_history.ofBarcodes(barcodes))
            take(e);
    } catch (const std::exception& error) {
        // Unknown counts as a first print: the history still gets the event.
        qCWarning(lcPrint).noquote()
            << QStringLiteral("label history: whether %1 was printed before is not known: %2")
                   .arg(barcodes.join(QStringLiteral(", ")), QString::fromUtf8(error.what()));
    }
    return printed;
}

void HistoryRecorder::owePrinted(const QString& key, const QString& label,
                                 const LabelEvent& event) {
    m_journal.setStage(key, label, LabelLedger::Stage::Printed, {event.id, event.line()});
}

void HistoryRecorder::owe(const QList<LabelEvent>& events) {
    QList<LabelLedger::OwedEvent> owed;
    for (const LabelEvent& event : events)
        owed.append({event.id, event.line()});
    m_journal.oweEvents(owed);
}

bool HistoryRecorder::flush() {
    QStringList ids;
    try {
        const QList<LabelLedger::OwedEvent> owed = m_journal.owedEvents();
        if (!owed.isEmpty()) {
            QList<LabelEvent> events;
            for (const LabelLedger::OwedEvent& o : owed) {
                if (const std::optional<LabelEvent> e = LabelEvent::fromLine(o.line.chopped(1)))
                    events.append(*e);
                ids.append(o.id); // an owed line that cannot be read is dropped, not kept forever
            }
            m_history.append(events);
            m_journal.eventsAppended(ids);
        }
        const QDate today = QDate::currentDate();
        if (m_expiredRemoved != today) {
            m_expiredRemoved = today;
            m_history.removeExpired(m_keptMonths, today);
        }
    } catch (const std::exception& error) {
        const QString reason = QString::fromUtf8(error.what());
        if (reason != m_fault) {
            m_fault = reason;
            const QString text = QStringLiteral("The label history could not be written (%1): "
                                                "%2 label events wait in this station's journal "
                                                "and are written once it can be. Printing goes "
                                                "on.")
                                     .arg(reason)
                                     .arg(ids.size());
            qCWarning(lcPrint).noquote() << text;
            m_notices.notice(text);
        }
        return false;
    }
    if (!m_fault.isEmpty()) {
        m_fault.clear();
        const QString text = QStringLiteral("The label history is written again: %1 owed label "
                                            "events appended.")
                                 .arg(ids.size());
        qCInfo(lcPrint).noquote() << text;
        m_notices.notice(text);
    }
    return true;
}
