// The simulated network label printer as a program, for the end-to-end tests and the benchmark:
//   simulated_printer --port-file FILE [--port N] [--jobs FOLDER] [--control FILE]
// Listens on 127.0.0.1 (at N, else at a free port written to FILE), writes every job to FOLDER
// as job-<n>.zpl, and reads FILE --control every 50 ms: one word a line among paper-out,
// paused, head-open, ribbon-out, too-hot, buffer-full, silent, "slow <ms a label>" and
// "drop <bytes>"; an empty or missing file is a healthy printer.
#include "SimulatedLabelPrinter.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTimer>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString portFile, jobs, control;
    quint16 port = 0;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--port-file"))
            portFile = args[i + 1];
        else if (args[i] == QLatin1String("--port"))
            port = quint16(args[i + 1].toUInt());
        else if (args[i] == QLatin1String("--jobs"))
            jobs = args[i + 1];
        else if (args[i] == QLatin1String("--control"))
            control = args[i + 1];
    }
    SimulatedLabelPrinter printer(port);
    if (!jobs.isEmpty())
        printer.setJobFolder(jobs);
    if (!portFile.isEmpty()) {
        QSaveFile file(portFile);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(QByteArray::number(printer.port())) < 1 || !file.commit())
            qFatal("cannot write %s", qPrintable(portFile));
    }

    QTimer poll;
    QByteArray last = "-";
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QFile file(control);
        const QByteArray now = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        if (now == last)
            return;
        last = now;
        unsigned faults = 0;
        int slow = 0;
        bool silent = false;
        qint64 drop = -1;
        for (const QByteArray& line : now.split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' ');
            const QByteArray& word = words.first();
            if (word == "paper-out")
                faults |= SimulatedLabelPrinter::PaperOut;
            else if (word == "paused")
                faults |= SimulatedLabelPrinter::Paused;
            else if (word == "head-open")
                faults |= SimulatedLabelPrinter::HeadOpen;
            else if (word == "ribbon-out")
                faults |= SimulatedLabelPrinter::RibbonOut;
            else if (word == "too-hot")
                faults |= SimulatedLabelPrinter::OverTemperature;
            else if (word == "buffer-full")
                faults |= SimulatedLabelPrinter::BufferFull;
            else if (word == "silent")
                silent = true;
            else if (word == "slow" && words.size() > 1)
                slow = words[1].toInt();
            else if (word == "drop" && words.size() > 1)
                drop = words[1].toLongLong();
        }
        printer.setFaults(faults);
        printer.setPrintMs(slow);
        printer.setSilent(silent);
        printer.setDropAfter(drop);
    });
    if (!control.isEmpty())
        poll.start(50);
    return app.exec();
}
