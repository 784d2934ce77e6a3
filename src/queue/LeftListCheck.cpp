#include "queue/LeftListCheck.h"

#include "app/DateTimeText.h"
#include "app/LabDatabase.h"
#include "queue/LabelHistory.h"
#include "queue/PrintLog.h"

#include <algorithm>

LeftListCheck::LeftListCheck(LabDatabase& lab, PrintLog& log, LabelHistory& history)
    : m_lab(lab)
    , m_log(log)
    , m_history(history) {}

bool LeftListCheck::due(const QDateTime& now) const {
    return !m_asked.isValid() || m_asked.secsTo(now) >= minimumGapSeconds;
}

QList<LeftListCheck::Request> LeftListCheck::find(int hours) {
    m_asked = QDateTime::currentDateTime();
    const RowSet rows = m_lab.leftListRequests(hours);
    QList<Request> found;
    for (int row = 0; row < rows.rowCount(); ++row) {
        const QString number = rows.value(row, QStringLiteral("RefNum"));
        const QDateTime date = DateTimeText::parse(rows.value(row, QStringLiteral("transdate")));
        if (number.isEmpty() || !date.isValid())
            continue;
        const Request request{number, DateTimeText::format(date)};
        if (!printed(request))
            found.append(request);
    }
    m_found = found;
    return found;
}

QList<LeftListCheck::Request> LeftListCheck::recheck() {
    m_found.removeIf([this](const Request& request) { return printed(request); });
    return m_found;
}

bool LeftListCheck::printed(const Request& request) {
    // Read only: an old day's file is never made by asking.
    if (m_log.linesOf(request.refNum, request.transDate) > 0)
        return true;
    const QList<LabelEvent> events = m_history.ofRequest(request.refNum);
    return std::any_of(events.cbegin(), events.cend(),
                       [](const LabelEvent& e) { return e.kind == LabelEvent::Kind::Printed; });
}
