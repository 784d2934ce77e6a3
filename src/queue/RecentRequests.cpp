#include "queue/RecentRequests.h"

#include "app/DateTimeText.h"
#include "app/Failure.h"
#include "app/LabDatabase.h"
#include "app/StationActivity.h"
#include "app/StationLog.h"
#include "queue/PrintLog.h"
#include "queue/PrintProgress.h"
#include "queue/PrintedMarks.h"
#include "queue/RequestListModel.h"
#include "queue/StationFaults.h"

#include <QScopeGuard>
#include <QStringList>

RecentRequests::RecentRequests(LabDatabase& lab, RequestListModel& list, PrintedMarks& marks,
                               PrintProgress& progress, StationActivity& activity,
                               StationFaults& faults, const PrintLog& log)
    : m_lab(lab)
    , m_list(list)
    , m_marks(marks)
    , m_progress(progress)
    , m_activity(activity)
    , m_faults(faults)
    , m_log(log) {}

void RecentRequests::LoadRecentRequests() {
    const StationActivity::Scope running(m_activity, StationActivity::Kind::Refresh);
    const int rowsBefore = m_list.rowCount();
    int pages = 1;
    const auto logged = qScopeGuard([&] {
        // A request gone from the list is retried no more: its retry memory goes with it.
        m_progress.forgetUnlisted([this](const QString& key) { return m_list.rowOf(key) >= 0; });
        qCInfo(lcQueue).noquote() << QStringLiteral("refresh: %1 requests added (%2 pages); the "
                                                    "list holds %3")
                                         .arg(m_list.rowCount() - rowsBefore)
                                         .arg(pages)
                                         .arg(m_list.rowCount());
    });
    RowSet page = m_lab.recentRequests();
    QDateTime before;
    // A full page may hide older requests: ones that came in while nobody refreshed, or that
    // entered the window late (a back-dated entry, a status set to waiting). Ask for the next
    // older page, until a page is short or does not move back in time.
    for (;;) {
        addPage(page);
        if (page.rowCount() < pageSize || m_activity.stopRequested())
            return;
        const QDateTime oldest = oldestDate(page);
        if (!oldest.isValid() || (before.isValid() && oldest.addSecs(1) >= before))
            return;
        // Rows of the oldest second come again and are skipped as listed.
        before = oldest.addSecs(1);
        page = m_lab.olderRecentRequests(before);
        ++pages;
    }
}

QDateTime RecentRequests::oldestDate(const RowSet& page) {
    for (int i = page.rowCount() - 1; i >= 0; --i) {
        const QDateTime date = DateTimeText::parse(page.value(i, QStringLiteral("transdate")));
        if (date.isValid())
            return date;
    }
    return {};
}

void RecentRequests::addPage(const RowSet& page) {
    for (int i = 0; i < page.rowCount(); ++i) {
        const QString refNum = page.value(i, QStringLiteral("RefNum"));
        // A number returned twice (two transaction times) has its row after the first time.
        if (const int row = m_list.rowOf(refNum); row < 0)
            AddRequestRow(refNum);
        else if (m_unmarked.contains(refNum))
            markIfLogged(row, refNum, m_list.transDate(row));
        if (!m_activity.yield())
            return;
    }
}

bool RecentRequests::makeRoomAndAppend(const QStringList& values) {
    // Months without a Refresh press fill the list: its printed rows make room, as that press
    // would, unless a run walks the list now.
    if (m_activity.isRunning(StationActivity::Kind::Cycle))
        return false;
    const int dropped = m_list.dropPrinted();
    if (dropped == 0)
        return false;
    qCInfo(lcQueue).noquote() << QStringLiteral(
                                     "refresh: the request list was full; %1 printed rows removed")
                                     .arg(dropped);
    return m_list.appendRow(values);
}

void RecentRequests::AddRequestRow(const QString& refNum) {
    const RowSet exams = m_lab.requestExams(refNum);
    if (exams.isEmpty())
        return; // no exam rows yet: the next refresh asks again

    QStringList examNames;
    examNames.reserve(exams.rowCount());
    for (int i = 0; i < exams.rowCount(); ++i)
        examNames.append(exams.value(i, QStringLiteral("Exam")));
    const QString transDate = exams.value(0, QStringLiteral("TransDate"));
    // Filed under the number the refresh asked with, the key of its mark and its print: a
    // database that compares numbers in any letter case or with trailing blanks may answer with
    // another spelling of it, under which the next refresh would not find the row.
    const QStringList values{transDate,
                             refNum,
                             exams.value(0, QStringLiteral("PatientName")),
                             examNames.join(QStringLiteral(", ")),
                             exams.value(0, QStringLiteral("HospNum")),
                             exams.value(0, QStringLiteral("IDNum")),
                             exams.value(0, QStringLiteral("RequestNum"))};
    if (!m_list.appendRow(values) && !makeRoomAndAppend(values)) {
        throw Failure(QStringLiteral("The request list is full: it holds %1 requests, the most it "
                                     "can. Press Refresh to start it again.")
                          .arg(RequestListModel::maxRows));
    }
    const int row = m_list.rowCount() - 1;
    // A request whose print failed earlier in this run of the station shows it again.
    if (m_progress.hasFailed(refNum))
        m_list.markFailed(row, m_progress.failure(refNum));
    markIfLogged(row, refNum, transDate);
}

void RecentRequests::markIfLogged(int row, const QString& refNum, const QString& transDate) {
    try {
        m_marks.MarkIfLogged(refNum, transDate);
        m_unmarked.remove(refNum);
    } catch (const RequestDataFailure& failure) {
        // One request's odd data (a date that is not a date) never keeps newer requests out of
        // the list, where the automatic run would miss them: the row shows its fault instead.
        m_list.markFailed(row, failure.description());
        qCWarning(lcQueue).noquote()
            << QStringLiteral("refresh: request %1: %2").arg(refNum, failure.description());
    } catch (const Failure& failure) {
        m_unmarked.insert(refNum, transDate);
        const QString path = m_log.dayFilePath(transDate);
        // Mended only once the rows listed meanwhile are marked: a run right after the check
        // would otherwise print a logged request again.
        m_faults.raise(StationFaults::Source::PrintLog, failure.description(), [this, path] {
            m_log.checkDayFile(path);
            for (auto unmarked = m_unmarked.begin(); unmarked != m_unmarked.end();) {
                m_marks.MarkIfLogged(unmarked.key(), unmarked.value());
                unmarked = m_unmarked.erase(unmarked);
            }
        });
    }
}
