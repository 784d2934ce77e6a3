#include "queue/PrintProgress.h"

PrintProgress::Stage PrintProgress::stage(const QString& key, const QString& label) const {
    const auto request = m_requests.constFind(key);
    return request == m_requests.cend() ? Stage::Pending
                                        : request->labels.value(label, Stage::Pending);
}

PrintProgress::Request& PrintProgress::touch(const QString& key) {
    if (!m_requests.contains(key) && m_requests.size() >= maxRequests) {
        auto oldest = m_requests.begin();
        for (auto it = m_requests.begin(); it != m_requests.end(); ++it) {
            if (it->touched < oldest->touched)
                oldest = it;
        }
        m_requests.erase(oldest);
    }
    Request& request = m_requests[key];
    request.touched = ++m_writes;
    return request;
}

void PrintProgress::setStage(const QString& key, const QString& label, Stage stage) {
    touch(key).labels.insert(label, stage);
}

int PrintProgress::linesOwed(const QString& key) const {
    const auto request = m_requests.constFind(key);
    return request == m_requests.cend() ? 0 : request->linesOwed;
}

void PrintProgress::addLineOwed(const QString& key) {
    ++touch(key).linesOwed;
}

void PrintProgress::noteFailure(const QString& key, const QString& reason, qint64 run) {
    Request& request = touch(key);
    request.failure = reason;
    ++request.failures;
    const qint64 gap = request.failures > 6
                           ? maxRetryGap
                           : qMin<qint64>(maxRetryGap, 1LL << (request.failures - 1));
    request.retryAtRun = run + gap;
}

bool PrintProgress::hasFailed(const QString& key) const {
    const auto request = m_requests.constFind(key);
    return request != m_requests.cend() && request->failures > 0;
}

QString PrintProgress::failure(const QString& key) const {
    const auto request = m_requests.constFind(key);
    return request == m_requests.cend() ? QString() : request->failure;
}

int PrintProgress::failures(const QString& key) const {
    const auto request = m_requests.constFind(key);
    return request == m_requests.cend() ? 0 : request->failures;
}

bool PrintProgress::retryDue(const QString& key, qint64 run) const {
    const auto request = m_requests.constFind(key);
    return request == m_requests.cend() || run >= request->retryAtRun;
}
