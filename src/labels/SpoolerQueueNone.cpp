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
