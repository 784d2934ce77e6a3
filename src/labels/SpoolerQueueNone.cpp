// Where there is no libcups the station has no spooler queue of its own to follow.
#include "labels/SpoolerQueue.h"

#include "app/Failure.h"

namespace {

[[noreturn]] void unavailable(const QString& queue) {
    throw Failure(QStringLiteral("The label printer queue \"%1\" cannot be used: raw spooler "
                                 "queues need the CUPS print spooler.")
                      .arg(queue));
}

} // namespace

bool SpoolerQueue::available() {
    return false;
}

void SpoolerQueue::checkReady(const QString& queue) {
    unavailable(queue);
}

void SpoolerQueue::print(const QString& queue, const Document&, int) {
    unavailable(queue);
}

QString SpoolerQueue::queueRemedy(const QString& queue) {
    return QStringLiteral("mend what the system's print settings report for \"%1\"").arg(queue);
}

QString SpoolerQueue::defaultPrinterRemedy() {
    return QStringLiteral("set a default printer in the system's print settings or name one in "
                          "the template");
}
