#include "queue/PrintProgress.h"

PrintProgress::PrintProgress(LabelLedger& ledger)
    : m_ledger(ledger) {}

QString PrintProgress::labelId(const QStringList& barcodes, int entry) {
    int earlier = 0;
    for (int k = 0; k < entry; ++k) {
        if (barcodes.at(k) == barcodes.at(entry))
            ++earlier;
    }
    return barcodes.at(entry) + QLatin1Char('\n') + QString::number(earlier);
}

QStringList PrintProgress::labelIds(const QStringList& barcodes) {
    QStringList ids;
    for (int k = 0; k < barcodes.size(); ++k) {
        if (!barcodes.at(k).isEmpty())
            ids.append(labelId(barcodes, k));
    }
    return ids;
}

PrintProgress::Stage PrintProgress::stage(const QString& key, const QString& label) const {
    return m_ledger.stage(key, label);
}

void PrintProgress::setStage(const QString& key, const QString& label, Stage stage) {
    m_ledger.setStage(key, label, stage);
}

void PrintProgress::logged(const QString& key, const QStringList& labels) {
    m_ledger.markLogged(key, labels);
    m_failed.remove(key);
}

void PrintProgress::passedOver(const QString& key, const QStringList& labels) {
    m_ledger.passOver(key, labels);
    m_failed.remove(key);
}

void PrintProgress::forgetUnlisted(const std::function<bool(const QString&)>& listed) {
    m_failed.removeIf([&listed](const auto& request) { return !listed(request.key()); });
}

void PrintProgress::noteFailure(const QString& key, const QString& reason, qint64 run) {
    if (!m_failed.contains(key) && m_failed.size() >= maxRequests) {
        auto oldest = m_failed.begin();
        for (auto it = m_failed.begin(); it != m_failed.end(); ++it) {
            if (it->touched < oldest->touched)
                oldest = it;
        }
        m_failed.erase(oldest);
    }
    Failed& request = m_failed[key];
    request.touched = ++m_writes;
    request.failure = reason;
    ++request.failures;
    const qint64 gap = request.failures > 6
                           ? maxRetryGap
                           : qMin<qint64>(maxRetryGap, 1LL << (request.failures - 1));
    request.retryAtRun = run + gap;
}

bool PrintProgress::hasFailed(const QString& key) const {
    const auto request = m_failed.constFind(key);
    return request != m_failed.cend() && request->failures > 0;
}

QString PrintProgress::failure(const QString& key) const {
    return m_failed.value(key).failure;
}

int PrintProgress::failures(const QString& key) const {
    return m_failed.value(key).failures;
}

bool PrintProgress::retryDue(const QString& key, qint64 run) const {
    const auto request = m_failed.constFind(key);
    return request == m_failed.cend() || run >= request->retryAtRun;
}
