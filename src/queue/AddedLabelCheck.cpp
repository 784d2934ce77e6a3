#include "queue/AddedLabelCheck.h"

#include "app/RowSet.h"
#include "app/SteadyClock.h"

#include <algorithm>
#include <vector>

AddedLabelCheck::AddedLabelCheck()
    : m_clock(steadyMilliseconds) {}

void AddedLabelCheck::startRun() {
    m_taken = false;
    m_fingerprints.clear();
    m_rechecks.clear();
}

std::optional<qint64> AddedLabelCheck::recheckAt(const Request& request) {
    if (request.rechecks >= int(recheckMinutes.size()))
        return std::nullopt;
    return request.printedAt + qint64(recheckMinutes.at(request.rechecks)) * 60 * 1000;
}

void AddedLabelCheck::takeFingerprints(const RowSet& rows) {
    m_taken = true;
    for (int row = 0; row < rows.rowCount(); ++row)
        m_fingerprints.insert(rows.value(row, QStringLiteral("RefNum")),
                              rows.value(row, QStringLiteral("Items")) + QLatin1Char('/') +
                                  rows.value(row, QStringLiteral("Labels")));
    const qint64 now = m_clock();
    std::vector<std::pair<qint64, QString>> due;
    for (auto it = m_requests.begin(); it != m_requests.end();) {
        const auto fingerprint = m_fingerprints.constFind(it.key());
        if (fingerprint == m_fingerprints.cend()) {
            it = m_requests.erase(it); // out of the window, or gone from the database
            continue;
        }
        if (it->fingerprint.isEmpty())
            it->fingerprint = *fingerprint;
        if (const std::optional<qint64> at = recheckAt(*it); at && *at <= now)
            due.emplace_back(*at, it.key());
        ++it;
    }
    const auto granted = std::min<std::size_t>(due.size(), maxRechecksPerRun);
    std::partial_sort(due.begin(), due.begin() + qsizetype(granted), due.end());
    for (std::size_t k = 0; k < granted; ++k)
        m_rechecks.insert(due.at(k).second);
}

bool AddedLabelCheck::needsLookup(const QString& refNum, bool everyRequest) const {
    const auto fingerprint = m_fingerprints.constFind(refNum);
    if (fingerprint == m_fingerprints.cend())
        return false;
    if (everyRequest)
        return true;
    const auto request = m_requests.constFind(refNum);
    return request == m_requests.cend() || request->fingerprint != *fingerprint ||
           m_rechecks.contains(refNum);
}

void AddedLabelCheck::settled(const QString& refNum, bool printed) {
    const qint64 now = m_clock();
    auto it = m_requests.find(refNum);
    if (it == m_requests.end() || printed) {
        it = m_requests.insert(refNum, Request{{}, now, 0});
    } else {
        for (std::optional<qint64> at = recheckAt(*it); at && *at <= now; at = recheckAt(*it))
            ++it->rechecks;
    }
    // None taken this run (the statement failed): the next run's are taken as they are, and
    // what changed in between is seen by the first re-check.
    it->fingerprint = m_fingerprints.value(refNum);
}

void AddedLabelCheck::unsettled(const QString& refNum) {
    m_requests.remove(refNum);
}
