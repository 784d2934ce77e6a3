#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>

class QThread;
class SimulatedPrinterWorker;

// A network ZPL label printer on a loopback port, for tests: the boundary the station cannot own.
// It runs in a thread of its own (the station waits on its socket without an event loop), keeps
// every job it receives, answers ~HS as a printer does (faults, formats waiting, labels left),
// prints each label in a set time, and can be put out of paper, paused, head open ..., made
// silent to status requests, or made to drop a connection part way through a job. Labels wait
// while a fault stops it and print once it is mended, unless ~JA (cancel all) dropped them
// first; a label being printed when ~JA comes still comes out, as on a real printer.
class SimulatedLabelPrinter {
public:
    enum Fault : unsigned {
        PaperOut = 1,
        Paused = 2,
        HeadOpen = 4,
        RibbonOut = 8,
        OverTemperature = 16,
        UnderTemperature = 32,
        BufferFull = 64,
    };

    // Listens on 127.0.0.1 at the port (0: any free one).
    explicit SimulatedLabelPrinter(quint16 port = 0);
    ~SimulatedLabelPrinter();
    SimulatedLabelPrinter(const SimulatedLabelPrinter&) = delete;
    SimulatedLabelPrinter& operator=(const SimulatedLabelPrinter&) = delete;

    quint16 port() const { return m_port; }
    QString address() const; // "zpl:tcp://127.0.0.1:<port>"

    void setFaults(unsigned faults);
    // The next label that comes brings these faults (the roll ends with it), or silence.
    void setFaultsWithNextLabel(unsigned faults, bool silent = false);
    // Each label is read readMs after it came (status answered as if not come), printed in ms.
    void setPrintMs(int ms, int readMs = 0);
    // Status requests are never answered.
    void setSilent(bool silent);
    // A connection is closed once this many bytes of its job have come (negative: never).
    void setDropAfter(qint64 bytes);
    // Every connection's data, status requests taken out, is also written to this folder as
    // job-<n>.zpl (whole files only) once the connection ends.
    void setJobFolder(const QString& folder);

    // What each connection sent, status requests and cancels taken out, once it ended.
    QList<QByteArray> jobs() const;
    // The formats printed (^XA ... ^XZ holding a field or a graphic), in the order printed.
    QList<QByteArray> labels() const;
    // The moment the last byte of any job came in, in nanoseconds of the steady clock
    // (std::chrono::steady_clock); 0 before.
    qint64 lastByteAt() const;
    // Status requests answered.
    int statusAnswers() const;
    // Forgets jobs and labels.
    void clear();

    // The three lines of a ~HS answer.
    static QByteArray hostStatus(unsigned faults, int formatsInBuffer, int labelsRemaining);

private:
    std::unique_ptr<QThread> m_thread;
    SimulatedPrinterWorker* m_worker = nullptr; // lives in m_thread
    quint16 m_port = 0;
};
