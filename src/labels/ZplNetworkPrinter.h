#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class QTcpSocket;

// What a ZPL printer answers to ~HS (host status): three lines, each framed by STX and ETX.
struct ZplHostStatus {
    bool paperOut = false;
    bool paused = false;
    bool bufferFull = false;
    bool underTemperature = false;
    bool overTemperature = false;
    bool headOpen = false;
    bool ribbonOut = false;
    bool partialFormat = false; // a format is being received
    int formatsInBuffer = 0;
    int labelsRemaining = 0; // of the batch being printed

    // The answer once all three lines are in; nullopt while it is incomplete. Throws Failure for
    // lines that are not a host status.
    static std::optional<ZplHostStatus> parse(const QByteArray& answer);
    // What keeps the printer from printing, as words that follow "The label printer at X":
    // "is out of paper", "has its head open" ...; empty when nothing does.
    QString fault() const;
    // Nothing received is left to print; with a label just sent, this may also mean that the
    // printer has not read it yet.
    bool idle() const { return formatsInBuffer == 0 && labelsRemaining == 0 && !partialFormat; }
};

// A ZPL printer on the network, reached on a raw TCP port (9100 on most). Each job is one
// connection: the printer's status is asked before the label is sent, and the label counts only
// once the printer has reported holding it and then nothing left to print. With the status off the
// label is sent blind. Every wait is bounded; the connection is closed on every path.
//
// A label the station gives up on once it was sent (a fault, a time-out, a lost connection) is
// cancelled at the printer (~JA, cancel all) before the failure is thrown: a printer held back by
// a fault would otherwise print it once mended, maybe hours later and with the label printed
// again meanwhile. A label the printer has begun to print still comes out. The message says
// "cancelled" only when the printer's status after the cancel showed nothing left to print.
class ZplNetworkPrinter {
public:
    ZplNetworkPrinter(QString host, quint16 port, bool askStatus, int confirmSeconds);
    ~ZplNetworkPrinter();
    ZplNetworkPrinter(const ZplNetworkPrinter&) = delete;
    ZplNetworkPrinter& operator=(const ZplNetworkPrinter&) = delete;

    // Throws Failure naming the printer when it cannot be reached or reports a fault.
    void checkReady();
    // Sends one job and returns once the printer reports it printed. Throws Failure naming the
    // printer and what went wrong, and whether what it still held could be cancelled.
    void print(const QByteArray& zpl);

    // "10.1.2.3", with ":port" when it is not 9100.
    QString name() const;

    static constexpr quint16 defaultPort = 9100;
    static constexpr int connectMs = 3000; // to connect, and for each status answer
    static constexpr int writeMs = 5000;   // for the printer to take the job

private:
    void connect();
    ZplHostStatus askStatus(int waitMs);
    [[noreturn]] void fail(const QString& what);
    [[noreturn]] void socketFailed(const QString& doing);
    enum class Cancel { Confirmed, Unconfirmed, NotSent };
    Cancel cancelHeld();

    QString m_host;
    quint16 m_port;
    bool m_askStatus;
    int m_confirmMs;
    QTcpSocket* m_socket = nullptr;
    bool m_sent = false;   // bytes of the label went out on this job's connection
    int m_answersOwed = 0; // status requests sent on the connection and not answered yet
};
