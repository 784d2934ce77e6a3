// Windows' print spooler: a raw ZPL job is handed to the queue (the RAW data type, past the
// driver) and followed by its id until the spooler has printed it. Named printers that draw a
// page go through QPrinter (available() is false), as Windows' drivers want.
#include "labels/SpoolerQueue.h"

#include "app/Failure.h"

#include <QDeadlineTimer>
#include <QThread>
#include <memory>
#include <vector>

#include <windows.h>
#include <winspool.h>

namespace {

// JOB_CONTROL_RETAIN (Windows Vista on), which MinGW's headers name only for a newer target.
constexpr DWORD retainJob = 8;

struct PrinterCloser {
    void operator()(HANDLE printer) const noexcept { ClosePrinter(printer); }
};
using Printer = std::unique_ptr<void, PrinterCloser>;

[[noreturn]] void fail(const QString& queue, const QString& what) {
    throw Failure(QStringLiteral("The label printer queue \"%1\" %2.").arg(queue, what));
}

QString systemError(DWORD code = GetLastError()) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const QString said = text ? QString::fromWCharArray(text).trimmed() : QString::number(code);
    LocalFree(text);
    return said;
}

Printer open(const QString& queue) {
    std::wstring name = queue.toStdWString();
    HANDLE handle = nullptr;
    if (!OpenPrinterW(name.data(), &handle, nullptr))
        fail(queue, QStringLiteral("is not there (%1)").arg(systemError()));
    return Printer(handle);
}

// What a status word of the queue or of a job tells as a fault, empty when none.
QString fault(DWORD status) {
    const std::pair<DWORD, const char*> faults[] = {
        {PRINTER_STATUS_PAUSED, "is paused"},
        {PRINTER_STATUS_ERROR, "reports a fault"},
        {PRINTER_STATUS_PENDING_DELETION, "is being removed"},
        {PRINTER_STATUS_PAPER_OUT, "has no labels"},
        {PRINTER_STATUS_PAPER_JAM, "has a label jam"},
        {PRINTER_STATUS_OFFLINE, "is offline"},
        {PRINTER_STATUS_DOOR_OPEN, "has its door open"},
        {PRINTER_STATUS_NOT_AVAILABLE, "is not available"},
    };
    for (const auto& [bit, what] : faults)
        if (status & bit)
            return QString::fromLatin1(what);
    return QString();
}

QString jobFault(DWORD status) {
    if (status & (JOB_STATUS_DELETING | JOB_STATUS_DELETED))
        return QStringLiteral("cancelled the label");
    if (status & JOB_STATUS_ERROR)
        return QStringLiteral("reports a fault with the label");
    if (status & JOB_STATUS_PAPEROUT)
        return QStringLiteral("has no labels");
    if (status & JOB_STATUS_OFFLINE)
        return QStringLiteral("is offline");
    if (status & JOB_STATUS_BLOCKED_DEVQ)
        return QStringLiteral("cannot print the label");
    return QString();
}

void cancel(HANDLE printer, DWORD job) {
    SetJobW(printer, job, 0, nullptr, JOB_CONTROL_DELETE);
}

} // namespace

bool SpoolerQueue::available() {
    return false;
}

void SpoolerQueue::checkReady(const QString& queue) {
    const Printer printer = open(queue);
    DWORD needed = 0;
    GetPrinterW(printer.get(), 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !GetPrinterW(printer.get(), 2, buffer.data(), needed, &needed))
        fail(queue, QStringLiteral("cannot be asked about its state (%1)").arg(systemError()));
    const QString what = fault(reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data())->Status);
    if (!what.isEmpty())
        fail(queue, what);
}

void SpoolerQueue::print(const QString& queue, const Document& document, int timeoutSeconds) {
    const Printer printer = open(queue);
    std::wstring title = document.title.toStdWString();
    wchar_t raw[] = L"RAW";
    DOC_INFO_1W info{title.data(), nullptr, raw};
    const DWORD job = StartDocPrinterW(printer.get(), 1, reinterpret_cast<BYTE*>(&info));
    if (job == 0)
        fail(queue, QStringLiteral("refused the label (%1)").arg(systemError()));
    // Kept in the queue once printed, the job tells its own end, and one that vanishes was
    // cancelled. A spooler that cannot keep it forgets a printed job: there vanishing is printing.
    // (Wine's accepts the request and forgets the job all the same.)
    const bool retained = SetJobW(printer.get(), job, 0, nullptr, retainJob);
    DWORD written = 0;
    const bool handed = StartPagePrinter(printer.get()) &&
                        WritePrinter(printer.get(), const_cast<char*>(document.data.constData()),
                                     DWORD(document.data.size()), &written) &&
                        written == DWORD(document.data.size()) && EndPagePrinter(printer.get());
    const DWORD handError = GetLastError();
    if (!handed) {
        cancel(printer.get(), job);
        EndDocPrinter(printer.get());
        fail(queue, QStringLiteral("did not take the label (%1)").arg(systemError(handError)));
    }
    if (!EndDocPrinter(printer.get()))
        fail(queue, QStringLiteral("did not take the label (%1)").arg(systemError()));

    const QDeadlineTimer deadline{std::chrono::seconds(timeoutSeconds)};
    for (;;) {
        DWORD needed = 0;
        SetLastError(ERROR_SUCCESS);
        GetJobW(printer.get(), job, 1, nullptr, 0, &needed);
        std::vector<BYTE> buffer(needed);
        if (needed == 0 || !GetJobW(printer.get(), job, 1, buffer.data(), needed, &needed)) {
            // Windows says a job is no longer there with ERROR_INVALID_PARAMETER. A spooler that
            // hands a job on at once (Wine's, to CUPS) forgets it without a word, retained or not.
            if (retained && GetLastError() == ERROR_INVALID_PARAMETER)
                fail(queue, QStringLiteral("cancelled the label"));
            return;
        }
        const DWORD status = reinterpret_cast<const JOB_INFO_1W*>(buffer.data())->Status;
        if (status & (JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE)) {
            if (retained)
                cancel(printer.get(), job); // printed: its place in the queue is no longer needed
            return;
        }
        if (const QString what = jobFault(status); !what.isEmpty()) {
            cancel(printer.get(), job);
            fail(queue, what);
        }
        if (deadline.hasExpired()) {
            cancel(printer.get(), job);
            fail(queue, QStringLiteral("did not print the label within %1 s").arg(timeoutSeconds));
        }
        QThread::msleep(200);
    }
}

QString SpoolerQueue::queueRemedy(const QString& queue) {
    return QStringLiteral("resume the queue in Settings, Printers & scanners, and mend what "
                          "\"Get-Printer -Name '%1' | Format-List\" reports in PowerShell")
        .arg(queue);
}

QString SpoolerQueue::defaultPrinterRemedy() {
    return QStringLiteral("set a default printer in Settings, Printers & scanners, or name one in "
                          "the template");
}
