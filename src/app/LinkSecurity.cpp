#include "app/LinkSecurity.h"

#include "app/OdbcConnectionString.h"

#include <QTcpSocket>
#include <QtEndian>

namespace {

const QString systemStore = QStringLiteral("the system's CA store");

QString caText(const ConnectionSettings& settings, const QString& driver) {
    if (!OdbcConnectionString::isFreeTds(driver))
        return systemStore + (settings.caFile.isEmpty()
                                  ? QString()
                                  : QStringLiteral(" (CAFile is read by FreeTDS only)"));
    return settings.caFile.isEmpty() ? systemStore : settings.caFile;
}

// The words each driver ends a link with before the login when TLS fails or is not offered.
bool endedBeforeLogin(const QString& reason) {
    return reason.contains(QLatin1String("Adaptive Server connection failed")) ||
           reason.contains(QLatin1String("SSL"), Qt::CaseInsensitive) ||
           reason.contains(QLatin1String("certificate"), Qt::CaseInsensitive) ||
           reason.contains(QLatin1String("encrypt"), Qt::CaseInsensitive);
}

} // namespace

LinkSecurity LinkSecurity::of(const ConnectionSettings& settings, const QString& driver) {
    if (settings.server.startsWith(embeddedServerPrefix))
        return {true, true, QStringLiteral("an embedded database file, no network link")};
    const bool driver18 = driver.startsWith(QLatin1String("ODBC Driver 18"), Qt::CaseInsensitive);
    // Without the Encrypt key Driver 18 still encrypts, and checks the certificate only when
    // TrustServerCertificate=no says so.
    const bool required = settings.encryptionRequired() || (driver18 && settings.encrypt.isEmpty());
    const bool trusted =
        settings.encryptionRequired()
            ? settings.certificateTrusted()
            : !settings.trustServerCertificate.startsWith(QLatin1Char('n'), Qt::CaseInsensitive);
    if (!required)
        return {false, false,
                QStringLiteral("not encrypted unless the server demands it (no Encrypt=yes): "
                               "the login and the lab's data may cross the network in clear")};
    if (trusted)
        return {true, false,
                QStringLiteral("encrypted, but the server's certificate is NOT verified "
                               "(TrustServerCertificate=yes): any server is believed")};
    return {true, true,
            QStringLiteral("encrypted, the server's certificate verified against ") +
                caText(settings, driver)};
}

QString LinkSecurity::explainFailure(const ConnectionSettings& settings, const QString& driver,
                                     const QString& reason) {
    if (!settings.encryptionRequired() || !endedBeforeLogin(reason))
        return reason;
    const std::optional<bool> offered = serverOffersEncryption(settings.server);
    if (offered == false)
        return QStringLiteral("The server %1 offers no encryption, and the settings require an "
                              "encrypted link (Encrypt=yes). (%2)")
            .arg(settings.server, reason);
    const QString host = OdbcConnectionString::parseServer(settings.server).host;
    return QStringLiteral("The server %1 was refused: its certificate is not signed by a CA in %2, "
                          "or not made out to \"%3\"%4. (%5)")
        .arg(settings.server, caText(settings, driver), host,
             offered.has_value() ? QString() : QStringLiteral(", or it offers no encryption"),
             reason);
}

std::optional<bool> LinkSecurity::serverOffersEncryption(const QString& server) {
    const auto address = OdbcConnectionString::parseServer(server);
    const quint16 port =
        address.port.isEmpty() && address.instance.isEmpty() ? 1433 : address.port.toUShort();
    if (port == 0)
        return std::nullopt;
    // A pre-login packet: VERSION, ENCRYPTION = ENCRYPT_ON, terminator, then their values.
    const QByteArray prelogin = QByteArray::fromHex("1201001a00000000"
                                                    "00000b0006"
                                                    "0100110001"
                                                    "ff"
                                                    "000000000000"
                                                    "01");
    QTcpSocket socket;
    socket.connectToHost(address.host, port);
    const int waitMs = 5000; // as long as the login may take
    if (!socket.waitForConnected(waitMs) || socket.write(prelogin) != prelogin.size())
        return std::nullopt;
    QByteArray reply;
    while (reply.size() < 8 || reply.size() < qFromBigEndian<quint16>(reply.constData() + 2)) {
        if (!socket.waitForReadyRead(waitMs))
            return std::nullopt;
        reply += socket.readAll();
    }
    const QByteArray options = reply.mid(8);
    for (qsizetype at = 0; at + 5 <= options.size() && quint8(options[at]) != 0xFF; at += 5) {
        const quint16 offset = qFromBigEndian<quint16>(options.constData() + at + 1);
        if (options[at] == 1 && offset < options.size())
            return options[offset] != 2; // ENCRYPT_NOT_SUP
    }
    return std::nullopt;
}
