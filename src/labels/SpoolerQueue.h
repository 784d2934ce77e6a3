#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// A queue of the system's print spooler that the station hands jobs to itself and follows to
// their end, so that a label counts only once the spooler reports it printed. Reached through
// libcups (SpoolerQueueCups.cpp); where there is none (SpoolerQueueNone.cpp) available() is
// false and printers are driven through QPrinter, which hands a job over without news of its end.
// On Windows (SpoolerQueueWindows.cpp) raw ZPL queues go through the spooler's RAW data type and
// are followed to their end; available() is false, so drawn labels go through QPrinter.
namespace SpoolerQueue {

bool available();

struct Document {
    QByteArray data;
    QByteArray format; // a MIME type: "application/pdf", "application/vnd.cups-raw"
    QString title;
    QList<QPair<QByteArray, QByteArray>> options; // job options, such as "media"
};

// Throws Failure in the station's words when a label could not be printed on the queue now: it
// is not there, is stopped or paused, takes no jobs, or reports a fault such as no labels.
void checkReady(const QString& queue);

// Submits one job and returns once the spooler reports it completed. Throws Failure when the
// queue refuses it, when it ends aborted, cancelled or stopped, or is not completed within
// timeoutSeconds; a job that has not ended is then cancelled, so it never prints unaccounted.
void print(const QString& queue, const Document& document, int timeoutSeconds);

// What the set-up check tells staff to do, in the system's own terms: about a queue that cannot
// print, and where no printer is named and none is the default.
QString queueRemedy(const QString& queue);
QString defaultPrinterRemedy();

} // namespace SpoolerQueue
