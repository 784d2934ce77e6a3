// Spooler queues through libcups: the station submits each job itself, keeps its id, and asks
// the spooler about the job until it has ended.
#include "labels/SpoolerQueue.h"

#include "app/Failure.h"

#include <QDeadlineTimer>
#include <QStringList>
#include <QThread>
#include <algorithm>
#include <cups/cups.h>
#include <memory>
#include <vector>

namespace {

struct IppDeleter {
    void operator()(ipp_t* ipp) const noexcept { ippDelete(ipp); }
};
using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;

struct HttpCloser {
    void operator()(http_t* http) const noexcept { httpClose(http); }
};
using Http = std::unique_ptr<http_t, HttpCloser>;

// A connection of its own for each check and each job: one kept between labels may have been
// closed by the spooler (idle, or restarted) in the meantime. Null when it cannot be reached.
Http openSpooler() {
    return Http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 5000,
                             nullptr));
}

Http connectToSpooler() {
    Http http = openSpooler();
    if (!http)
        throw Failure(QStringLiteral("The print spooler cannot be reached: %1.")
                          .arg(QString::fromUtf8(cupsLastErrorString())));
    return http;
}

[[noreturn]] void fail(const QString& queue, const QString& what) {
    throw Failure(QStringLiteral("The label printer queue \"%1\" %2.").arg(queue, what));
}

QString lastError() {
    return QString::fromUtf8(cupsLastErrorString());
}

QByteArray printerUri(const QString& queue) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     "/printers/%s", queue.toUtf8().constData());
    return QByteArray(uri);
}

// A request about the queue, or about one of its jobs, for the attributes named.
IppPtr ask(http_t* http, ipp_op_t operation, const QString& queue, int job,
           std::initializer_list<const char*> attributes) {
    const QByteArray uri = printerUri(queue);
    const std::vector<const char*> names(attributes);
    const auto request = [&] {
        ipp_t* r = ippNewRequest(operation);
        ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.constData());
        if (job > 0)
            ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job);
        ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                     cupsUser());
        ippAddStrings(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                      int(names.size()), nullptr, names.data());
        return r;
    };
    // A connection the spooler has closed fails once; asked again, libcups connects anew.
    // cupsDoRequest frees the request it is given.
    IppPtr response(cupsDoRequest(http, request(), "/"));
    if (!response)
        response.reset(cupsDoRequest(http, request(), "/"));
    return response;
}

QStringList keywords(ipp_t* response, const char* name) {
    QStringList list;
    ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_ZERO);
    for (int i = 0; attribute && i < ippGetCount(attribute); ++i)
        list.append(QString::fromUtf8(ippGetString(attribute, i, nullptr)));
    return list;
}

QString text(ipp_t* response, const char* name) {
    ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_ZERO);
    return attribute ? QString::fromUtf8(ippGetString(attribute, 0, nullptr)).trimmed() : QString();
}

int integer(ipp_t* response, const char* name, int fallback) {
    ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_ZERO);
    return attribute ? ippGetInteger(attribute, 0) : fallback;
}

// The words for a reason the queue gives that keeps it from printing; empty for the others.
// Warnings and reports do not stop a printer.
QString faultOf(QString reason) {
    if (reason.endsWith(QLatin1String("-warning")) || reason.endsWith(QLatin1String("-report")))
        return QString();
    if (reason.endsWith(QLatin1String("-error")))
        reason.chop(6);
    static const QList<QPair<QLatin1String, QLatin1String>> words{
        {QLatin1String("paused"), QLatin1String("is paused")},
        {QLatin1String("media-empty"), QLatin1String("is out of labels")},
        {QLatin1String("media-needed"), QLatin1String("is out of labels")},
        {QLatin1String("media-jam"), QLatin1String("has a label jam")},
        {QLatin1String("cover-open"), QLatin1String("has its cover open")},
        {QLatin1String("door-open"), QLatin1String("has its door open")},
        {QLatin1String("marker-supply-empty"), QLatin1String("is out of ribbon")},
        {QLatin1String("offline"), QLatin1String("is offline")},
        {QLatin1String("shutdown"), QLatin1String("is shut down")},
    };
    for (const auto& [keyword, what] : words) {
        if (reason == keyword)
            return what;
    }
    return QString();
}

// The queue's own message, unless it only repeats what is said ("paused" and "Paused").
QString withMessage(const QString& what, const QString& message) {
    if (message.isEmpty() || what.contains(message, Qt::CaseInsensitive))
        return what;
    return what + QStringLiteral(" (") + message + QLatin1Char(')');
}

// Cancels a job the station gives up on, so that it never prints later unaccounted (a stopped
// queue enabled again, a printer that gets its labels back). Asked again on a connection of its
// own when the job's fails: the spooler may have closed it. The words say what became of the
// job: "was cancelled", or why it could not be.
QString cancel(http_t* http, const QString& queue, int job) {
    const QByteArray name = queue.toUtf8();
    if (cupsCancelJob2(http, name.constData(), job, 0) <= IPP_STATUS_OK_EVENTS_COMPLETE)
        return QStringLiteral("was cancelled");
    const Http fresh = openSpooler();
    if (fresh &&
        cupsCancelJob2(fresh.get(), name.constData(), job, 0) <= IPP_STATUS_OK_EVENTS_COMPLETE)
        return QStringLiteral("was cancelled");
    return QStringLiteral("could not be cancelled (%1) and may still print").arg(lastError());
}

void checkQueue(http_t* http, const QString& queue) {
    const IppPtr response = ask(http, IPP_OP_GET_PRINTER_ATTRIBUTES, queue, 0,
                                {"printer-state", "printer-state-reasons", "printer-state-message",
                                 "printer-is-accepting-jobs"});
    const ipp_status_t status = cupsLastError();
    if (status == IPP_STATUS_ERROR_NOT_FOUND)
        fail(queue, QStringLiteral("is not installed"));
    if (!response || status > IPP_STATUS_OK_EVENTS_COMPLETE)
        throw Failure(QStringLiteral("The print spooler cannot tell the state of the label printer "
                                     "queue \"%1\": %2.")
                          .arg(queue, lastError()));
    const QString message = text(response.get(), "printer-state-message");
    const QStringList reasons = keywords(response.get(), "printer-state-reasons");
    if (integer(response.get(), "printer-state", IPP_PSTATE_IDLE) == IPP_PSTATE_STOPPED)
        fail(queue, withMessage(reasons.contains(QLatin1String("paused"))
                                    ? QStringLiteral("is stopped (paused)")
                                    : QStringLiteral("is stopped"),
                                message));
    ipp_attribute_t* accepting =
        ippFindAttribute(response.get(), "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    if (accepting && !ippGetBoolean(accepting, 0))
        fail(queue, QStringLiteral("does not accept jobs"));
    for (const QString& reason : reasons) {
        const QString fault = faultOf(reason);
        if (!fault.isEmpty())
            fail(queue, withMessage(fault, message));
    }
}

} // namespace

bool SpoolerQueue::available() {
    return true;
}

void SpoolerQueue::checkReady(const QString& queue) {
    checkQueue(connectToSpooler().get(), queue);
}

void SpoolerQueue::print(const QString& queue, const Document& document, int timeoutSeconds) {
    const Http connection = connectToSpooler();
    http_t* http = connection.get();
    checkQueue(http, queue);
    const QByteArray name = queue.toUtf8();
    cups_option_t* options = nullptr;
    int count = 0;
    for (const auto& [key, value] : document.options)
        count = cupsAddOption(key.constData(), value.constData(), count, &options);
    const int job =
        cupsCreateJob(http, name.constData(), document.title.toUtf8().constData(), count, options);
    cupsFreeOptions(count, options);
    if (job <= 0)
        fail(queue, QStringLiteral("refused the label: %1").arg(lastError()));
    bool sent = cupsStartDocument(http, name.constData(), job, document.title.toUtf8().constData(),
                                  document.format.constData(), 1) == HTTP_STATUS_CONTINUE;
    sent = sent && cupsWriteRequestData(http, document.data.constData(),
                                        std::size_t(document.data.size())) == HTTP_STATUS_CONTINUE;
    // The document is finished on every path, so the connection is ready for the next request.
    sent = cupsFinishDocument(http, name.constData()) <= IPP_STATUS_OK_EVENTS_COMPLETE && sent;
    if (!sent) {
        const QString reason = lastError();
        fail(queue, QStringLiteral("did not take the label: %1; its job %2 %3")
                        .arg(reason, QString::number(job), cancel(http, queue, job)));
    }

    // Asked often at first: a label is most often through the spooler well within a second.
    const QDeadlineTimer deadline(qint64(timeoutSeconds) * 1000);
    int pause = 5;
    for (;;) {
        const IppPtr response =
            ask(http, IPP_OP_GET_JOB_ATTRIBUTES, queue, job,
                {"job-state", "job-state-reasons", "job-printer-state-message"});
        if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
            const QString reason = lastError();
            fail(queue, QStringLiteral("cannot tell what became of the label's job %1: %2; the "
                                       "job %3")
                            .arg(QString::number(job), reason, cancel(http, queue, job)));
        }
        const int state = integer(response.get(), "job-state", IPP_JSTATE_PENDING);
        const QStringList reasons = keywords(response.get(), "job-state-reasons");
        const QString message = text(response.get(), "job-printer-state-message");
        if (state == IPP_JSTATE_COMPLETED)
            return;
        if (state == IPP_JSTATE_ABORTED || state == IPP_JSTATE_CANCELED) {
            fail(queue,
                 withMessage(QStringLiteral("%1 the label's job %2")
                                 .arg(state == IPP_JSTATE_ABORTED ? QStringLiteral("aborted")
                                                                  : QStringLiteral("cancelled"))
                                 .arg(job),
                             message.isEmpty() ? reasons.join(QStringLiteral(", ")) : message));
        }
        if (state == IPP_JSTATE_PENDING) {
            // A queue stopped while the job waits (a job the queue stops goes back to waiting)
            // would hold it until the time-out: say so at once.
            try {
                checkQueue(http, queue);
            } catch (const Failure& failure) {
                throw Failure(QStringLiteral("%1 The label's job %2 %3.")
                                  .arg(failure.description(), QString::number(job),
                                       cancel(http, queue, job)));
            }
        }
        if (state == IPP_JSTATE_STOPPED || reasons.contains(QLatin1String("printer-stopped"))) {
            fail(queue, withMessage(QStringLiteral("stopped before the label's job %1 was "
                                                   "printed; the job %2")
                                        .arg(job)
                                        .arg(cancel(http, queue, job)),
                                    message));
        }
        if (deadline.hasExpired()) {
            fail(queue, QStringLiteral("did not print the label's job %1 within %2 seconds; the "
                                       "job %3")
                            .arg(QString::number(job), QString::number(timeoutSeconds),
                                 cancel(http, queue, job)));
        }
        QThread::msleep(
            static_cast<unsigned long>(std::min<qint64>(pause, deadline.remainingTime())));
        pause = std::min(pause * 2, 100);
    }
}

QString SpoolerQueue::queueRemedy(const QString& queue) {
    return QStringLiteral("start the queue with \"cupsenable %1\" and mend what \"lpstat -p %1\" "
                          "reports")
        .arg(queue);
}

QString SpoolerQueue::defaultPrinterRemedy() {
    return QStringLiteral("set a default printer (lpadmin -d <queue>) or name one in the template");
}
