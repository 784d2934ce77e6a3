#include "queue/HistoryView.h"

#include "app/StationLog.h"
#include "lookup/CurrentRequest.h"
#include "lookup/ExamChecklistModel.h"
#include "queue/LabelHistory.h"
#include "queue/PrintProgress.h"

#include <QHash>

namespace HistoryView {

QString summary(const QList<LabelEvent>& events, const QDate& today) {
    int prints = 0;
    const LabelEvent* last = nullptr;
    for (const LabelEvent& e : events) {
        if (e.kind != LabelEvent::Kind::Printed)
            continue;
        ++prints;
        last = &e;
    }
    if (!last)
        return {};
    const QString when = last->time.left(10) == today.toString(Qt::ISODate) ? last->time.mid(11, 5)
                                                                            : last->time.left(16);
    return QStringLiteral("printed %1x, last %2 at %3").arg(prints).arg(when, last->station);
}

QString detail(const QList<LabelEvent>& events) {
    QStringList lines;
    for (const LabelEvent& e : events) {
        QString line = QStringLiteral("%1 %2 at %3 by %4")
                           .arg(e.time, LabelEvent::kindText(e.kind), e.station, e.account);
        if (e.kind == LabelEvent::Kind::Printed)
            line +=
                QStringLiteral(", %1 cop%2 on %3")
                    .arg(e.copies)
                    .arg(e.copies == 1 ? QStringLiteral("y") : QStringLiteral("ies"))
                    .arg(e.printer.isEmpty() ? QStringLiteral("the default printer") : e.printer);
        if (e.reprint)
            line += e.reason.isEmpty() ? QStringLiteral(", reprint")
                                       : QStringLiteral(", reprint: ") + e.reason;
        lines.append(line);
    }
    return lines.join(QLatin1Char('\n'));
}

void show(LabelHistory& history, const CurrentRequest& request, ExamChecklistModel& entries) {
    QHash<QString, QList<LabelEvent>> byLabel;
    try {
        for (const LabelEvent& e : history.ofBarcodes(request.Barcodes))
            byLabel[e.labelId()].append(e);
    } catch (const std::exception& error) {
        qCWarning(lcLookup).noquote()
            << QStringLiteral("label history not shown: %1").arg(QString::fromUtf8(error.what()));
        return;
    }
    const QDate today = QDate::currentDate();
    for (int k = 0; k < entries.entryCount() && k < request.Barcodes.size(); ++k) {
        if (request.Barcodes.at(k).isEmpty())
            continue;
        const QList<LabelEvent> events = byLabel.value(PrintProgress::labelId(request.Barcodes, k));
        const QString text = summary(events, today);
        entries.setHistory(k, text, detail(events));
        if (!text.isEmpty())
            qCInfo(lcLookup).noquote() << QStringLiteral("label %1 of %2: %3")
                                              .arg(request.Barcodes.at(k), request.key(), text);
    }
}

} // namespace HistoryView
