#include "main/HistoryReport.h"

#include "app/ExitStatus.h"
#include "app/Failure.h"
#include "queue/LabelHistory.h"

#include <QDate>
#include <QSet>

int HistoryReport::run(const QStringList& arguments, QIODevice& out, QString& error) const {
    LabelHistory history(m_indexPath);
    history.setFolder(m_folder);
    const QDate first = QDate::fromString(arguments.value(0), Qt::ISODate);
    const QDate last = QDate::fromString(arguments.value(1), Qt::ISODate);
    if (arguments.size() == 2 && (!first.isValid() || !last.isValid())) {
        error = QStringLiteral("--history takes a request number, a barcode, or two dates "
                               "written yyyy-MM-dd.");
        return exitUsage;
    }
    try {
        out.write(LabelEvent::csvHeader());
        if (arguments.size() == 2) {
            history.forEachBetween(first, last,
                                   [&out](const LabelEvent& e) { out.write(e.csvRecord()); });
            return exitNormal;
        }
        // A number is a request's, or a label's barcode: both are listed, each event once.
        QSet<QString> written;
        const QString number = arguments.value(0);
        QList<LabelEvent> events = history.ofRequest(number);
        events += history.ofBarcode(number);
        std::stable_sort(events.begin(), events.end(),
                         [](const LabelEvent& a, const LabelEvent& b) { return a.time < b.time; });
        for (const LabelEvent& e : events) {
            if (!written.contains(e.id))
                out.write(e.csvRecord());
            written.insert(e.id);
        }
    } catch (const Failure& failure) {
        error = failure.description();
        return exitCheckFailed;
    }
    return exitNormal;
}
