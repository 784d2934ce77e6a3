#include "SimulatedLabelPrinter.h"

#include <QDateTime>
#include <QDir>
#include <QMutex>
#include <QMutexLocker>
#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <deque>

namespace {

qint64 steadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

// The printer's state, shared by the test's thread and the printer's.
class SimulatedPrinterWorker : public QObject {
public:
    mutable QMutex mutex;
    unsigned faults = 0;
    unsigned faultsWithNextLabel = 0;
    bool silentWithNextLabel = false;
    int printMs = 0;
    int readMs = 0;
    bool silent = false;
    qint64 dropAfter = -1;
    QString jobFolder;
    QList<QByteArray> jobs;
    QList<QByteArray> labels;
    std::deque<std::pair<QByteArray, qint64>> waiting; // unprinted formats, ms when read
    // Only formats a status answer showed, or whose sender left, print: a label outlasts a ~HS.
    qsizetype shown = 0;
    qint64 printingSince = 0; // when the first waiting format began to print; 0: none
    qint64 lastByteAt = 0;
    int statusAnswers = 0;
    int jobNumber = 0;

    quint16 listen(quint16 port) {
        m_server = new QTcpServer(this);
        if (!m_server->listen(QHostAddress::LocalHost, port))
            qFatal("the simulated label printer cannot listen: %s",
                   qPrintable(m_server->errorString()));
        QObject::connect(m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection())
                accept(socket);
        });
        m_clock = new QTimer(this);
        m_clock->setInterval(5);
        QObject::connect(m_clock, &QTimer::timeout, this, [this] {
            QMutexLocker lock(&mutex);
            advance();
        });
        m_clock->start();
        return m_server->serverPort();
    }

    // Prints what is due. Called with the mutex held.
    void advance() {
        const unsigned stops = SimulatedLabelPrinter::PaperOut | SimulatedLabelPrinter::Paused |
                               SimulatedLabelPrinter::HeadOpen | SimulatedLabelPrinter::RibbonOut |
                               SimulatedLabelPrinter::OverTemperature;
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        while (!waiting.empty() && !(faults & stops)) {
            if (shown == 0 || waiting.front().second > now)
                return;
            if (printingSince == 0)
                printingSince = now;
            if (now - printingSince < printMs)
                return;
            labels.append(waiting.front().first);
            waiting.pop_front();
            --shown;
            printingSince = waiting.empty() ? 0 : printingSince + printMs;
        }
        if (faults & stops)
            printingSince = 0; // a stopped label starts again once mended
    }

private:
    struct Connection {
        QByteArray pending; // bytes not yet sorted into status requests and job data
        QByteArray job;     // job data
        qsizetype scanned = 0;
        bool dropped = false;
    };

    static bool isLabel(const QByteArray& format) {
        return format.contains("^FO") || format.contains("^FT") || format.contains("^FD") ||
               format.contains("^XG");
    }

    void accept(QTcpSocket* socket) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto* connection = new Connection;
        QObject::connect(socket, &QTcpSocket::readyRead, this,
                         [this, socket, connection] { receive(socket, *connection); });
        QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket, connection] {
            receive(socket, *connection);
            finish(*connection);
            delete connection;
            socket->deleteLater();
        });
    }

    void receive(QTcpSocket* socket, Connection& c) {
        if (c.dropped)
            return;
        c.pending += socket->readAll();
        QMutexLocker lock(&mutex);
        for (;;) {
            // Tilde commands act at once, ahead of the formats: ~HS (host status), ~JA (cancel).
            const qsizetype hs = c.pending.indexOf("~HS");
            const qsizetype ja = c.pending.indexOf("~JA");
            const qsizetype status = hs < 0 ? ja : (ja < 0 ? hs : std::min(hs, ja));
            // A "~", "~H" or "~J" at the end may be the start of one still on its way.
            qsizetype take = status >= 0 ? status : c.pending.size();
            if (status < 0 && c.pending.endsWith("~"))
                take -= 1;
            else if (status < 0 && (c.pending.endsWith("~H") || c.pending.endsWith("~J")))
                take -= 2;
            if (take > 0) {
                if (dropAfter >= 0 && c.job.size() + take > dropAfter) {
                    c.job += c.pending.left(qMax<qint64>(0, dropAfter - c.job.size()));
                    c.dropped = true;
                    lastByteAt = steadyNow();
                    takeFormats(c);
                    lock.unlock(); // the abort ends the connection at once
                    socket->abort();
                    return;
                }
                c.job += c.pending.left(take);
                c.pending.remove(0, take);
                lastByteAt = steadyNow();
                takeFormats(c);
            }
            if (status < 0)
                break;
            const bool cancel = c.pending.startsWith("~JA");
            c.pending.remove(0, 3);
            advance();
            if (cancel) {
                // The label being printed finishes; the rest, a partial format too, is dropped.
                const bool printing = printingSince != 0;
                waiting.resize(printing ? 1 : 0);
                shown = printing ? 1 : 0;
                c.scanned = c.job.size();
                continue;
            }
            if (!silent) {
                ++statusAnswers;
                const qint64 now = QDateTime::currentMSecsSinceEpoch();
                qsizetype read = 0;
                while (read < qsizetype(waiting.size()) && waiting[read].second <= now)
                    ++read;
                shown = std::max(shown, read);
                const int inBuffer = int(read) - (printingSince ? 1 : 0);
                socket->write(SimulatedLabelPrinter::hostStatus(faults, qMax(0, inBuffer),
                                                                printingSince ? 1 : 0));
            }
        }
    }

    // Moves every whole format of the job data to the printer's queue.
    void takeFormats(Connection& c) {
        for (;;) {
            const qsizetype start = c.job.indexOf("^XA", c.scanned);
            if (start < 0)
                return;
            const qsizetype end = c.job.indexOf("^XZ", start);
            if (end < 0)
                return;
            const QByteArray format = c.job.mid(start, end + 3 - start);
            c.scanned = end + 3;
            if (!isLabel(format))
                continue;
            waiting.emplace_back(format, QDateTime::currentMSecsSinceEpoch() + readMs);
            faults |= faultsWithNextLabel;
            silent = silent || silentWithNextLabel;
            faultsWithNextLabel = 0;
            silentWithNextLabel = false;
        }
    }

    void finish(const Connection& c) {
        QMutexLocker lock(&mutex);
        shown = qsizetype(waiting.size()); // one sender at a time: all it sent may come out
        if (c.job.isEmpty())
            return;
        jobs.append(c.job);
        ++jobNumber;
        if (jobFolder.isEmpty())
            return;
        QSaveFile file(QDir(jobFolder).filePath(QStringLiteral("job-%1.zpl").arg(jobNumber)));
        if (file.open(QIODevice::WriteOnly)) {
            file.write(c.job);
            file.commit();
        }
    }

    QTcpServer* m_server = nullptr;
    QTimer* m_clock = nullptr;
};

SimulatedLabelPrinter::SimulatedLabelPrinter(quint16 port)
    : m_thread(std::make_unique<QThread>()) {
    m_worker = new SimulatedPrinterWorker;
    m_worker->moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
    QMetaObject::invokeMethod(
        m_worker, [this, port] { m_port = m_worker->listen(port); }, Qt::BlockingQueuedConnection);
}

SimulatedLabelPrinter::~SimulatedLabelPrinter() {
    m_thread->quit();
    m_thread->wait();
}

QString SimulatedLabelPrinter::address() const {
    return QStringLiteral("zpl:tcp://127.0.0.1:%1").arg(m_port);
}

void SimulatedLabelPrinter::setFaults(unsigned faults) {
    QMutexLocker lock(&m_worker->mutex);
    m_worker->faults = faults;
}

void SimulatedLabelPrinter::setFaultsWithNextLabel(unsigned faults, bool silent) {
    QMutexLocker lock(&m_worker->mutex);
    m_worker->faultsWithNextLabel = faults;
    m_worker->silentWithNextLabel = silent;
}

void SimulatedLabelPrinter::setPrintMs(int ms, int readMs) {
    QMutexLocker lock(&m_worker->mutex);
    m_worker->printMs = ms;
    m_worker->readMs = readMs;
}

void SimulatedLabelPrinter::setSilent(bool silent) {
    QMutexLocker lock(&m_worker->mutex);
    m_worker->silent = silent;
}

void SimulatedLabelPrinter::setDropAfter(qint64 bytes) {
    QMutexLocker lock(&m_worker->mutex);
    m_worker->dropAfter = bytes;
}

void SimulatedLabelPrinter::setJobFolder(const QString& folder) {
    QMutexLocker lock(&m_worker->mutex);
    m_worker->jobFolder = folder;
}

QList<QByteArray> SimulatedLabelPrinter::jobs() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->jobs;
}

QList<QByteArray> SimulatedLabelPrinter::labels() const {
    QMutexLocker lock(&m_worker->mutex);
    m_worker->advance();
    return m_worker->labels;
}

qint64 SimulatedLabelPrinter::lastByteAt() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->lastByteAt;
}

int SimulatedLabelPrinter::statusAnswers() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->statusAnswers;
}

void SimulatedLabelPrinter::clear() {
    QMutexLocker lock(&m_worker->mutex);
    m_worker->jobs.clear();
    m_worker->labels.clear();
    m_worker->waiting.clear();
    m_worker->shown = 0;
    m_worker->printingSince = 0;
}

QByteArray SimulatedLabelPrinter::hostStatus(unsigned faults, int formatsInBuffer,
                                             int labelsRemaining) {
    const auto flag = [faults](unsigned f) { return (faults & f) ? '1' : '0'; };
    QByteArray answer;
    // aaa,b,c,dddd,eee,f,g,h,iii,j,k,l: paper out, pause, label length, formats in the buffer,
    // buffer full, diagnostics, partial format, unused, corrupt RAM, under and over temperature.
    answer += "\x02"
              "030,";
    answer += flag(PaperOut);
    answer += ',';
    answer += flag(Paused);
    answer += ",0200," + QByteArray::number(formatsInBuffer).rightJustified(3, '0') + ',';
    answer += flag(BufferFull);
    answer += ",0,0,000,0,";
    answer += flag(UnderTemperature);
    answer += ',';
    answer += flag(OverTemperature);
    answer += "\x03\r\n";
    // mmm,n,o,p,q,r,s,t,uuuuuuuu,v,www: functions, unused, head up, ribbon out, thermal
    // transfer, print mode, width mode, label waiting, labels remaining, format while printing,
    // graphics stored.
    answer += "\x02"
              "001,0,";
    answer += flag(HeadOpen);
    answer += ',';
    answer += flag(RibbonOut);
    answer += ",0,2,6,0," + QByteArray::number(labelsRemaining).rightJustified(8, '0') + ",1,000";
    answer += "\x03\r\n";
    answer += "\x02"
              "1234,0\x03\r\n";
    return answer;
}
