#include "TdsTestServer.h"

#include <QFile>

TdsTestServer::TdsTestServer(const QString& labPath, const QString& encryption)
    : m_control(labPath + QStringLiteral(".control"))
    , m_tls(labPath + QStringLiteral(".tls"))
    , m_received(labPath + QStringLiteral(".received")) {
    QFile::remove(m_control);
    QFile::remove(m_received);
    // What the server was sent, and what it refused, goes to the test's own output.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Debian's python3 with its pytds, not another one first on the PATH.
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral(QUILLON_SOURCE_DIR "/tests/support/tds_server.py"), labPath,
                     QStringLiteral("--control"), m_control, QStringLiteral("--encryption"),
                     encryption, QStringLiteral("--tls-dir"), m_tls, QStringLiteral("--record"),
                     m_received});
    if (!m_process.waitForStarted() || !m_process.waitForReadyRead(10000))
        qFatal("the TDS test server did not start");
    m_port = m_process.readLine().trimmed().mid(5).toInt();
}

TdsTestServer::~TdsTestServer() {
    m_process.kill();
    m_process.waitForFinished();
    QFile::remove(m_control);
}

QByteArray TdsTestServer::received() const {
    QFile file(m_received);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ConnectionSettings TdsTestServer::settings(const QString& password) const {
    return {QStringLiteral("127.0.0.1,%1").arg(m_port), QStringLiteral("Laboratory"),
            QStringLiteral("sa"), password.isNull() ? QStringLiteral("Lab-2024") : password};
}

void TdsTestServer::control(const QString& words) const {
    QFile file(m_control);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(words.toUtf8()) < 0)
        qFatal("cannot write the TDS test server's control file");
}

void TdsTestServer::dropConnections() const {
    control(QStringLiteral("drop"));
}

void TdsTestServer::deny(const QString& procedure) const {
    control(QStringLiteral("deny ") + procedure);
}

void TdsTestServer::allowAll() const {
    control(QString());
}

void TdsTestServer::shiftClock(int minutes) const {
    control(QStringLiteral("clock %1").arg(minutes));
}

bool TdsTestServer::road() {
    return qEnvironmentVariable("QUILLON_LAB_ROAD") == QLatin1String("tds");
}
