#include "labels/ZplNetworkPrinter.h"

#include "app/Failure.h"

#include <QDeadlineTimer>
#include <QList>
#include <QTcpSocket>
#include <QThread>
#include <algorithm>

namespace {

constexpr char stx = '\x02';
constexpr char etx = '\x03';

QString seconds(int ms) {
    if (ms == 1000)
        return QStringLiteral("1 second");
    return ms % 1000 == 0 ? QStringLiteral("%1 seconds").arg(ms / 1000)
                          : QStringLiteral("%1 seconds").arg(ms / 1000.0, 0, 'f', 1);
}

} // namespace

std::optional<ZplHostStatus> ZplHostStatus::parse(const QByteArray& answer) {
    QList<QList<QByteArray>> lines;
    qsizetype at = 0;
    while (lines.size() < 3) {
        const qsizetype start = answer.indexOf(stx, at);
        if (start < 0)
            return std::nullopt;
        const qsizetype end = answer.indexOf(etx, start + 1);
        if (end < 0)
            return std::nullopt;
        lines.append(answer.mid(start + 1, end - start - 1).split(','));
        at = end + 1;
    }
    if (lines[0].size() < 12 || lines[1].size() < 11)
        throw Failure(QStringLiteral("the printer's status answer is not a ZPL host status"));
    const auto flag = [](const QByteArray& field) { return field.trimmed() == "1"; };
    const auto number = [](const QByteArray& field) { return field.trimmed().toInt(); };
    ZplHostStatus s;
    s.paperOut = flag(lines[0][1]);
    s.paused = flag(lines[0][2]);
    s.formatsInBuffer = number(lines[0][4]);
    s.bufferFull = flag(lines[0][5]);
    s.partialFormat = flag(lines[0][7]);
    s.underTemperature = flag(lines[0][10]);
    s.overTemperature = flag(lines[0][11]);
    s.headOpen = flag(lines[1][2]);
    s.ribbonOut = flag(lines[1][3]);
    s.labelsRemaining = number(lines[1][8]);
    return s;
}

QString ZplHostStatus::fault() const {
    if (headOpen)
        return QStringLiteral("has its print head open");
    if (paperOut)
        return QStringLiteral("is out of paper");
    if (ribbonOut)
        return QStringLiteral("is out of ribbon");
    if (overTemperature)
        return QStringLiteral("is too hot (its print head is over temperature)");
    if (underTemperature)
        return QStringLiteral("is too cold (its print head is under temperature)");
    if (paused)
        return QStringLiteral("is paused");
    if (bufferFull)
        return QStringLiteral("has a full receive buffer");
    return QString();
}

ZplNetworkPrinter::ZplNetworkPrinter(QString host, quint16 port, bool askStatus, int confirmSeconds)
    : m_host(std::move(host))
    , m_port(port)
    , m_askStatus(askStatus)
    , m_confirmMs(confirmSeconds * 1000) {}

ZplNetworkPrinter::~ZplNetworkPrinter() {
    if (m_socket) {
        m_socket->abort();
        delete m_socket;
    }
}

QString ZplNetworkPrinter::name() const {
    const QString host =
        m_host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(m_host) : m_host;
    return m_port == defaultPort ? host : QStringLiteral("%1:%2").arg(host).arg(m_port);
}

void ZplNetworkPrinter::fail(const QString& what) {
    QString message = QStringLiteral("The label printer at %1 %2.").arg(name(), what);
    if (m_sent) {
        m_sent = false;
        switch (cancelHeld()) {
        case Cancel::Confirmed:
            message += QStringLiteral(" What it still held was cancelled.");
            break;
        case Cancel::Unconfirmed:
            message += QStringLiteral(" It was told to cancel what it still held but did not "
                                      "confirm it: the label may still come out.");
            break;
        case Cancel::NotSent:
            message += QStringLiteral(" It could not be told to cancel what it still holds: the "
                                      "label may come out later.");
            break;
        }
    }
    if (m_socket)
        m_socket->abort();
    throw Failure(message);
}

// Sends ~JA on the job's connection while it stands with nothing left to send (a ~JA behind the
// rest of a label the printer does not take would wait with it), else on a new one. With the
// status on, a ~HS follows, and its answer (after any still owed) shows the printer has acted on
// the ~JA; only then is the connection closed, as closing with answers unread could reset it
// before the printer read the ~JA. A silent printer gets a plain close after the wait, which
// delivers what was sent. Confirmed only when that last answer shows nothing left to print: a
// label being printed still comes out, and a printer that never answered may not have cancelled.
ZplNetworkPrinter::Cancel ZplNetworkPrinter::cancelHeld() {
    if (m_socket->state() != QAbstractSocket::ConnectedState || m_socket->bytesToWrite() > 0) {
        m_socket->abort();
        m_answersOwed = 0;
        m_socket->connectToHost(m_host, m_port);
        if (!m_socket->waitForConnected(connectMs))
            return Cancel::NotSent;
    }
    const QByteArray cancelAll =
        m_askStatus ? QByteArrayLiteral("~JA~HS") : QByteArrayLiteral("~JA");
    if (m_socket->write(cancelAll) != cancelAll.size())
        return Cancel::NotSent;
    const QDeadlineTimer deadline(connectMs);
    while (m_socket->bytesToWrite() > 0) {
        if (!m_socket->waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime()))))
            return Cancel::NotSent;
    }
    bool confirmed = false;
    if (m_askStatus) {
        // Each answer is three lines, each ending in ETX; the last answer is the one after ~JA.
        const qsizetype ends = 3 * (m_answersOwed + 1);
        QByteArray answers = m_socket->readAll();
        while (answers.count(etx) < ends && !deadline.hasExpired() &&
               m_socket->waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime()))))
            answers += m_socket->readAll();
        qsizetype last = 0;
        for (qsizetype i = 0; i < ends - 3; ++i)
            last = answers.indexOf(etx, last) + 1;
        try {
            const std::optional<ZplHostStatus> status = ZplHostStatus::parse(answers.mid(last));
            confirmed = answers.count(etx) >= ends && status && status->idle();
        } catch (const Failure&) {
        }
    }
    m_socket->readAll();
    m_socket->disconnectFromHost();
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->waitForDisconnected(connectMs);
    return confirmed ? Cancel::Confirmed : Cancel::Unconfirmed;
}

void ZplNetworkPrinter::socketFailed(const QString& doing) {
    if (m_socket->error() == QAbstractSocket::SocketTimeoutError)
        fail(QStringLiteral("did not answer in time %1").arg(doing));
    fail(QStringLiteral("lost the connection %1: %2").arg(doing, m_socket->errorString()));
}

void ZplNetworkPrinter::connect() {
    if (!m_socket)
        m_socket = new QTcpSocket;
    m_socket->abort();
    m_sent = false;
    m_answersOwed = 0;
    m_socket->connectToHost(m_host, m_port);
    if (!m_socket->waitForConnected(connectMs)) {
        if (m_socket->error() == QAbstractSocket::SocketTimeoutError)
            fail(QStringLiteral("did not take the connection within %1").arg(seconds(connectMs)));
        fail(QStringLiteral("cannot be reached: %1").arg(m_socket->errorString()));
    }
    // Status requests are a few bytes each: sent at once, not held back to fill a packet.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

ZplHostStatus ZplNetworkPrinter::askStatus(int waitMs) {
    if (m_socket->write("~HS") != 3)
        socketFailed(QStringLiteral("when asked for its status"));
    ++m_answersOwed;
    const QDeadlineTimer deadline(waitMs);
    QByteArray answer;
    for (;;) {
        if (m_socket->bytesToWrite() > 0)
            m_socket->waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime())));
        answer += m_socket->readAll();
        try {
            if (const std::optional<ZplHostStatus> status = ZplHostStatus::parse(answer)) {
                --m_answersOwed;
                return *status;
            }
        } catch (const Failure& failure) {
            fail(QStringLiteral("gave a wrong answer: %1").arg(failure.description()));
        }
        if (deadline.hasExpired())
            fail(QStringLiteral("did not report its status within %1").arg(seconds(waitMs)));
        if (!m_socket->waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())))) {
            if (m_socket->error() == QAbstractSocket::SocketTimeoutError)
                fail(QStringLiteral("did not report its status within %1").arg(seconds(waitMs)));
            socketFailed(QStringLiteral("while reporting its status"));
        }
    }
}

void ZplNetworkPrinter::checkReady() {
    connect();
    if (m_askStatus) {
        const QString fault = askStatus(connectMs).fault();
        if (!fault.isEmpty())
            fail(fault);
    }
    m_socket->disconnectFromHost();
    m_socket->abort();
}

void ZplNetworkPrinter::print(const QByteArray& zpl) {
    connect();
    if (m_askStatus) {
        const QString fault = askStatus(connectMs).fault();
        if (!fault.isEmpty())
            fail(fault);
    }
    m_sent = true;
    if (m_socket->write(zpl) != zpl.size())
        socketFailed(QStringLiteral("while taking the label"));
    const QDeadlineTimer written(writeMs);
    while (m_socket->bytesToWrite() > 0) {
        if (!m_socket->waitForBytesWritten(int(std::max<qint64>(1, written.remainingTime())))) {
            if (m_socket->error() == QAbstractSocket::SocketTimeoutError)
                fail(QStringLiteral("did not take the label within %1").arg(seconds(writeMs)));
            socketFailed(QStringLiteral("while taking the label"));
        }
    }
    if (!m_askStatus) {
        // Printed blind: the label counts once the printer has taken every byte.
        m_socket->disconnectFromHost();
        if (m_socket->state() != QAbstractSocket::UnconnectedState &&
            !m_socket->waitForDisconnected(writeMs) &&
            m_socket->error() != QAbstractSocket::RemoteHostClosedError)
            socketFailed(QStringLiteral("while taking the label"));
        return;
    }
    // A printer answers a status request as soon as it comes, possibly before it has read the
    // label sent ahead of it, and then reports itself idle with the label unread. So the label
    // counts only once an answer has shown the printer holding it (a format in its buffer or
    // being received, or a label left in its batch) and a later one shows it idle. Until then it
    // is asked every 10 ms: printing a label takes far longer, so no label can come and go
    // between two answers unseen. Then soon, and less and less often.
    const QDeadlineTimer deadline(m_confirmMs);
    bool taken = false;
    int pause = 10;
    for (;;) {
        const ZplHostStatus status = askStatus(
            int(std::max<qint64>(deadline.remainingTime(), std::min(connectMs, m_confirmMs))));
        const QString fault = status.fault();
        if (!fault.isEmpty())
            fail(fault + QStringLiteral(", and did not print the label"));
        if (!status.idle()) {
            if (!taken)
                pause = 1;
            taken = true;
        } else if (taken) {
            break;
        }
        if (deadline.hasExpired())
            fail(QStringLiteral("did not report the label %1 within %2")
                     .arg(taken ? QStringLiteral("printed") : QStringLiteral("received"),
                          seconds(m_confirmMs)));
        QThread::msleep(
            static_cast<unsigned long>(std::min<qint64>(pause, deadline.remainingTime())));
        if (taken)
            pause = std::min(pause * 2, 200);
    }
    m_socket->disconnectFromHost();
    m_socket->abort();
}
