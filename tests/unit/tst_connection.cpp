#include "StationTestSupport.h"
#include "TdsTestServer.h"
#include "app/DbConnection.h"
#include "app/LinkSecurity.h"
#include "app/OdbcConnectionString.h"
#include "app/OdbcDrivers.h"
#include "app/SettingsStore.h"
#include "main/StartupRetry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

class ConnectionTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void escapesValues_data();
    void escapesValues();
    void buildsTheStringInItsOrder();
    void listsTheDriversTheDriverManagerKnows();
    void choosesTheBestInstalledDriver();
    void readsHandWrittenSettings_data();
    void readsHandWrittenSettings();
    void machineFileServesAnAccountWithoutSettings_data();
    void machineFileServesAnAccountWithoutSettings();
    void startupPausesGrowToAMinute_data();
    void startupPausesGrowToAMinute();
    void startupTriesUntilOneSucceeds();
    void embeddedOpenFailsWithoutCreatingAFile();
    void embeddedOpenRefusesAFileThatIsNotALabDatabase();
    void reopeningClosesFirst();
    void silentServerFailsInsteadOfHanging();
    void serverRefusalsReadAsTheServerSaysThem_data();
    void serverRefusalsReadAsTheServerSaysThem();
    void linkSecuredAsTheSettingsAsk_data();
    void linkSecuredAsTheSettingsAsk();
};

void ConnectionTest::escapesValues_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("plain") << "sa"
                           << "sa";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("semicolon") << "pa;ss"
                               << "{pa;ss}";
    QTest::newRow("closing brace") << "a}b"
                                   << "{a}}b}";
    QTest::newRow("opening brace") << "{x"
                                   << "{{x}";
    QTest::newRow("equals") << "a=b"
                            << "{a=b}";
    QTest::newRow("outer blanks") << " pw "
                                  << "{ pw }";
    QTest::newRow("injected key") << "x;Database=master"
                                  << "{x;Database=master}";
}

void ConnectionTest::escapesValues() {
    QFETCH(QString, value);
    QFETCH(QString, escaped);
    QCOMPARE(OdbcConnectionString::escapeValue(value), escaped);
}

void ConnectionTest::buildsTheStringInItsOrder() {
    // No keys stored: the fixed pieces with nothing between them; the empty password is still sent.
    QCOMPARE(OdbcConnectionString::build({}, QStringLiteral("ODBC Driver 17 for SQL Server")),
             QStringLiteral("DRIVER={ODBC Driver 17 for SQL Server};Server=;UID=;Database=;PWD="));
    const ConnectionSettings s{QStringLiteral("LABSRV\\SQL"), QStringLiteral("Laboratory"),
                               QStringLiteral("station"), QStringLiteral("se;cret}")};
    QCOMPARE(OdbcConnectionString::build(s, QStringLiteral("FreeTDS")),
             QStringLiteral("DRIVER={FreeTDS};Server=LABSRV\\SQL;UID=station;Database=Laboratory;"
                            "PWD={se;cret}}};TDS_Version=7.4"));
    // Driver 18 checks certificates only when told to; the store's optional key turns it on.
    ConnectionSettings checked = s;
    checked.trustServerCertificate = QStringLiteral("no");
    QVERIFY(OdbcConnectionString::build(s, QStringLiteral("ODBC Driver 18 for SQL Server"))
                .endsWith(QStringLiteral(";TrustServerCertificate=yes")));
    QVERIFY(OdbcConnectionString::build(checked, QStringLiteral("ODBC Driver 18 for SQL Server"))
                .endsWith(QStringLiteral(";TrustServerCertificate=no")));
    // Encrypt=yes without a trust setting: every driver requires encryption and checks the
    // certificate; FreeTDS through the station's own server entry, the only place it takes a CA
    // file.
    checked.encrypt = QStringLiteral("yes");
    checked.trustServerCertificate.clear();
    QVERIFY(
        OdbcConnectionString::build(checked, QStringLiteral("ODBC Driver 18 for SQL Server"))
            .endsWith(QStringLiteral(";PWD={se;cret}}};Encrypt=yes;TrustServerCertificate=no")));
    QCOMPARE(OdbcConnectionString::build(checked, QStringLiteral("FreeTDS")),
             QStringLiteral("DRIVER={FreeTDS};Servername=quillon;UID=station;Database=Laboratory;"
                            "PWD={se;cret}}};TDS_Version=7.4;Encryption=require"));
    QVERIFY(OdbcConnectionString::freeTdsEntry(checked).contains(
        QStringLiteral("host = LABSRV\n\tinstance = SQL\n")));
    checked.encrypt = QStringLiteral("no");
    QVERIFY(OdbcConnectionString::build(checked, QStringLiteral("ODBC Driver 18 for SQL Server"))
                .endsWith(QStringLiteral("};Encrypt=no")));
}

void ConnectionTest::listsTheDriversTheDriverManagerKnows() {
#ifdef Q_OS_WIN
    QSKIP("Windows' driver manager reads its drivers from the registry");
#endif
    // The system's drivers (FreeTDS, installed by the set-up) and a user's own, which a file
    // read by hand missed. The driver manager reads its files once per process: this is the
    // test's first use of it.
    QTemporaryDir home;
    QFile drivers(home.filePath(QStringLiteral(".odbcinst.ini")));
    QVERIFY(drivers.open(QIODevice::WriteOnly));
    drivers.write("[ODBC Driver 18 for SQL Server]\nDriver=/nowhere/libmsodbcsql-18.so\n");
    drivers.close();
    const QByteArray old = qgetenv("HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    const QStringList found = installedOdbcDrivers();
    qputenv("HOME", old);
    QVERIFY2(found.contains(QStringLiteral("FreeTDS")) &&
                 found.contains(QStringLiteral("ODBC Driver 18 for SQL Server")),
             qPrintable(found.join(QLatin1Char(','))));
}

void ConnectionTest::choosesTheBestInstalledDriver() {
    using OdbcConnectionString::chooseDriver;
    QCOMPARE(chooseDriver({}), QString());
    QCOMPARE(chooseDriver({QStringLiteral("PostgreSQL"), QStringLiteral("FreeTDS")}),
             QStringLiteral("FreeTDS"));
    QCOMPARE(chooseDriver({QStringLiteral("SQL Server"), QStringLiteral("FreeTDS"),
                           QStringLiteral("ODBC Driver 17 for SQL Server")}),
             QStringLiteral("ODBC Driver 17 for SQL Server"));
    QCOMPARE(chooseDriver({QStringLiteral("ODBC Driver 17 for SQL Server"),
                           QStringLiteral("ODBC Driver 18 for SQL Server")}),
             QStringLiteral("ODBC Driver 18 for SQL Server"));
    QCOMPARE(chooseDriver({QStringLiteral("SQL Server")}), QStringLiteral("SQL Server"));
}

void ConnectionTest::readsHandWrittenSettings_data() {
    QTest::addColumn<QByteArray>("file"); // empty: no file at all
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("problem"); // the start of the first problem, or empty
    QTest::newRow("backslash and commas")
        << QByteArray("[Connection]\nServer=labserver\\SQLEXPRESS\nUser=lab,station\n"
                      "Password=se,\\\\c\\ret\\n\nDatabase=Laboratory\n")
        << "labserver\\SQLEXPRESS"
        << "lab,station"
        << "se,\\\\c\\ret\\n"
        << "";
    QTest::newRow("= ; and quotes in a password, taken as written")
        << QByteArray("[Connection]\nPassword=\"a=b;c\"\n") << ""
        << ""
        << "\"a=b;c\""
        << "";
    QTest::newRow("blanks, comments, letter case")
        << QByteArray("; the station's\n\n[connection]\n# server\n  SERVER = srv  \n\n") << "srv"
        << ""
        << ""
        << "";
    QTest::newRow("byte-order mark and CR LF")
        << QByteArray("\xEF\xBB\xBF[Connection]\r\nServer=sqlite:/data/a,b/lab.db\r\nUser=u\r\n")
        << "sqlite:/data/a,b/lab.db"
        << "u"
        << ""
        << "";
    QTest::newRow("another section is not read")
        << QByteArray("[Other]\nServer=x\n[Connection]\nUser=u\n") << ""
        << "u"
        << ""
        << "";
    QTest::newRow("a line that is no setting is named")
        << QByteArray("[Connection]\nServer srv\nUser=u\n") << ""
        << "u"
        << ""
        << "line 2: \"Server srv\"";
    QTest::newRow("no settings at all") << QByteArray() << ""
                                        << ""
                                        << ""
                                        << "No connection settings: nothing in the section "
                                           "[Connection] of ";
}

void ConnectionTest::readsHandWrittenSettings() {
    QFETCH(QByteArray, file);
    QFETCH(QString, server);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, problem);
#ifdef Q_OS_WIN
    QSKIP("Windows keeps the settings in the registry");
#endif
    TestWorld world;
    const QString path = world.path() + QStringLiteral("/config/quillon/ORVANT Current User.ini");
    if (!file.isEmpty()) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file);
    }
    const ConnectionSettings s = ReadConnectionSettings();
    QCOMPARE(s.server, server);
    QCOMPARE(s.user, user);
    QCOMPARE(s.password, password);
    const QStringList problems = connectionSettingsProblems();
    QCOMPARE(problems.size(), problem.isEmpty() ? 0 : 1);
    if (!problem.isEmpty())
        QVERIFY2(problems.first().contains(problem), qPrintable(problems.first()));

    // Storing a value changes its line only.
    world.storeSetting(QStringLiteral("ORVANT Current User"), QStringLiteral("Connection"),
                       QStringLiteral("Database"), QStringLiteral("db,2"));
    QCOMPARE(ReadConnectionSettings().database, QStringLiteral("db,2"));
    QCOMPARE(ReadConnectionSettings().password, password);
    QFile stored(path);
    QVERIFY(stored.open(QIODevice::ReadOnly));
    const QByteArray after = stored.readAll();
    QCOMPARE(after.count("\r\n") > 0, file.contains("\r\n"));
    if (file.startsWith("; the"))
        QVERIFY(after.startsWith("; the station's\n\n[connection]\n# server\n"));
}

void ConnectionTest::machineFileServesAnAccountWithoutSettings_data() {
    QTest::addColumn<QByteArray>("own"); // the account's file; empty: none
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("machineWide");
    QTest::newRow("the account's own wins")
        << QByteArray("[Connection]\nServer=own\n") << "own" << false;
    QTest::newRow("an own section wins wholly")
        << QByteArray("[connection]\nUser=u\n") << "" << false;
    QTest::newRow("no own file") << QByteArray() << "machine" << true;
    QTest::newRow("an own file without the section")
        << QByteArray("[Other]\nServer=x\n") << "machine" << true;
}

void ConnectionTest::machineFileServesAnAccountWithoutSettings() {
    QFETCH(QByteArray, own);
    QFETCH(QString, server);
    QFETCH(bool, machineWide);
#ifdef Q_OS_WIN
    QSKIP("Windows keeps an account's settings in the registry");
#endif
    TestWorld world;
    const QString machine = world.path() + QStringLiteral("/connection.ini");
    const QString user = world.path() + QStringLiteral("/config/quillon/ORVANT Current User.ini");
    QDir().mkpath(QFileInfo(user).absolutePath());
    for (const auto& [path, bytes] :
         {std::pair(machine,
                    QByteArray("[Connection]\nServer=machine\nPassword=p\nEncrypt=maybe\n")),
          std::pair(user, own)}) {
        QFile file(path);
        QVERIFY(bytes.isEmpty() || (file.open(QIODevice::WriteOnly) && file.write(bytes) > 0));
    }
    QCOMPARE(ReadConnectionSettings(machine).server, server);
    QCOMPARE(ReadConnectionSettings(machine).password,
             machineWide ? QStringLiteral("p") : QString());
    QCOMPARE(connectionSettingsSource(machine).machineWide, machineWide);
    QCOMPARE(connectionSettingsProblems(machine),
             machineWide ? QStringList{"Encrypt=maybe is neither yes nor no."} : QStringList());
    // Neither file: the message names both places.
    QVERIFY(QFile::remove(machine));
    if (machineWide)
        QVERIFY(connectionSettingsProblems(machine).first().contains(machine));
}

void ConnectionTest::startupPausesGrowToAMinute_data() {
    QTest::addColumn<int>("failedTries");
    QTest::addColumn<int>("pause");
    QTest::newRow("first") << 1 << 5;
    QTest::newRow("second") << 2 << 10;
    QTest::newRow("fourth") << 4 << 40;
    QTest::newRow("capped") << 5 << 60;
    QTest::newRow("a night of tries") << 100000 << 60;
}

void ConnectionTest::startupPausesGrowToAMinute() {
    QFETCH(int, failedTries);
    QFETCH(int, pause);
    QCOMPARE(StartupRetry::pauseSeconds(failedTries), pause);
}

void ConnectionTest::startupTriesUntilOneSucceeds() {
    const QStringList faults{QStringLiteral("no database"), QStringLiteral("login refused"),
                             QString()};
    int tries = 0;
    const QDateTime now(QDate(2026, 12, 9), QTime(3, 0));
    StartupRetry retry([&] { return faults.at(tries++); }, [&] { return now; });
    QSignalSpy waiting(&retry, &StartupRetry::waiting);
    QSignalSpy ready(&retry, &StartupRetry::ready);
    retry.tryNow();
    QCOMPARE(tries, 1); // the pause waits on the event loop, not inside the try
    QTRY_COMPARE_WITH_TIMEOUT(tries, 2, 6000); // then the next try comes by itself
    QCOMPARE(waiting.size(), 2);
    QCOMPARE(waiting.at(1).at(0).toString(), faults.at(1));
    QCOMPARE(waiting.at(1).at(1).toDateTime(), now.addSecs(10));
    QVERIFY(ready.isEmpty());
    retry.tryNow();
    retry.tryNow(); // after success, nothing is tried again
    QCOMPARE(tries, 3);
    QCOMPARE(ready.size(), 1);
    QVERIFY(retry.succeeded() && !retry.nextTry().isValid());
}

void ConnectionTest::embeddedOpenFailsWithoutCreatingAFile() {
    TestWorld world;
    DbConnection connection;
    QVERIFY(!connection.open({QStringLiteral("sqlite:") + world.labPath(), {}, {}, {}}));
    QVERIFY(!connection.isOpen());
    QVERIFY(!QFile::exists(world.labPath()));
    QVERIFY(!connection.open({QStringLiteral("sqlite:"), {}, {}, {}}));
}

void ConnectionTest::embeddedOpenRefusesAFileThatIsNotALabDatabase() {
    TestWorld world;
    QFile junk(world.labPath());
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("this is not a database");
    junk.close();
    DbConnection connection;
    QVERIFY(!connection.open({QStringLiteral("sqlite:") + world.labPath(), {}, {}, {}}));
    QVERIFY(!connection.failureReason().isEmpty());
}

void ConnectionTest::reopeningClosesFirst() {
    TestWorld world;
    world.createLab();
    world.storeEmbeddedSettings();
    DbConnection connection;
    QVERIFY(OpenConnection(connection));
    QVERIFY(connection.isOpen());
    QVERIFY(OpenConnection(connection));
    QVERIFY(connection.isOpen());
    QCOMPARE(connection.lab().recentRequests().rowCount(), 0);
}

void ConnectionTest::silentServerFailsInsteadOfHanging() {
    // A listening socket that never answers: the kernel completes the TCP handshake, then nothing.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    DbConnection connection;
    QElapsedTimer clock;
    clock.start();
    const bool opened =
        connection.open({QStringLiteral("127.0.0.1,%1").arg(silent.serverPort()),
                         QStringLiteral("Laboratory"), QStringLiteral("u"), QStringLiteral("p")});
    QVERIFY(!opened);
    qInfo("silent server reported after %lld ms: %s", clock.elapsed(),
          qPrintable(connection.failureReason()));
}

void ConnectionTest::serverRefusalsReadAsTheServerSaysThem_data() {
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("said");
    QTest::addColumn<bool>("refused");
    QTest::newRow("wrong password") << true << "Login failed for user 'sa'." << true;
    QTest::newRow("nothing listening") << false << "Unable to connect to data source" << false;
}

// Through FreeTDS to the TDS test server: the reason names what the server or the driver said,
// without the driver layers' bracketed names.
void ConnectionTest::serverRefusalsReadAsTheServerSaysThem() {
    QFETCH(bool, listening);
    QFETCH(QString, said);
    QFETCH(bool, refused);
    TestWorld world;
    world.createLab();
    TdsTestServer server(world.labPath());
    ConnectionSettings settings = server.settings(QStringLiteral("wrong"));
    if (!listening) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        settings.server = QStringLiteral("127.0.0.1,%1").arg(closed.serverPort());
    }
    DbConnection connection;
    QVERIFY(!connection.open(settings));
    const QString reason = connection.failureReason();
    QVERIFY2(reason.contains(said) && !reason.contains(QLatin1Char('[')), qPrintable(reason));
    QCOMPARE(connection.loginRefused(), refused);
}

void ConnectionTest::linkSecuredAsTheSettingsAsk_data() {
    QTest::addColumn<QString>("server"); // what the server offers: none, off (the login), require
    QTest::addColumn<QString>("encrypt");
    QTest::addColumn<QString>("ca"); // right, wrong or missing
    QTest::addColumn<QString>("trust");
    QTest::addColumn<QString>("said"); // the failure's words; empty: it opens
    QTest::addColumn<int>("clear");    // 0 nothing, 1 the login, 2 the queries seen on the wire
    const auto row = [](const char* name, const char* server, const char* encrypt, const char* ca,
                        const char* trust, const char* said, int clear) {
        QTest::newRow(name) << QString::fromUtf8(server) << QString::fromUtf8(encrypt)
                            << QString::fromUtf8(ca) << QString::fromUtf8(trust)
                            << QString::fromUtf8(said) << clear;
    };
    row("required, right CA", "require", "yes", "right", "", "", 0);
    row("required, wrong CA", "require", "yes", "wrong", "", "its certificate is not signed", 0);
    row("required, none offered", "none", "yes", "right", "", "offers no encryption, and", 0);
    row("required, CA file missing", "require", "yes", "missing", "", ".gone\" (CAFile", 0);
    row("misspelt", "none", "true", "", "", "Encrypt=true is neither yes nor no.", 0);
    row("trusted explicitly", "require", "yes", "wrong", "yes", "", 0);
    row("not asked, none offered", "none", "", "", "", "", 1);
    row("not asked, login encrypted", "off", "", "", "", "", 2);
}

// Through FreeTDS to the TDS test server speaking TLS in its pre-login, recording what it got.
void ConnectionTest::linkSecuredAsTheSettingsAsk() {
    QFETCH(QString, server);
    QFETCH(QString, encrypt);
    QFETCH(QString, ca);
    QFETCH(QString, trust);
    QFETCH(QString, said);
    QFETCH(int, clear);
    TestWorld world;
    world.createLab();
    TdsTestServer tds(world.labPath(), server);
    ConnectionSettings settings = tds.settings();
    settings.encrypt = encrypt;
    settings.caFile = ca == QLatin1String("right") ? tds.caFile() : tds.otherCaFile();
    settings.caFile += ca == QLatin1String("missing") ? QStringLiteral(".gone") : QString();
    settings.trustServerCertificate = trust;
    DbConnection connection;
    QCOMPARE(connection.open(settings), said.isEmpty());
    QVERIFY2(connection.failureReason().contains(said), qPrintable(connection.failureReason()));
    if (!said.isEmpty())
        return;
    connection.lab().recentRequests();
    const LinkSecurity link = LinkSecurity::of(settings, QStringLiteral("FreeTDS"));
    QCOMPARE(link.encrypted && link.verified, ca == QLatin1String("right") && trust.isEmpty());
    const QByteArray wire = tds.received();
    QByteArray scrambled = QByteArray(reinterpret_cast<const char*>(u"Lab-2024"), 16);
    for (char& b : scrambled)
        b = char(((quint8(b) << 4) | (quint8(b) >> 4)) ^ 0xA5);
    QCOMPARE(wire.contains(scrambled), clear == 1);
    QCOMPARE(wire.contains(QByteArray(reinterpret_cast<const char*>(u"tbLabMaster"), 22)),
             clear > 0);
    // A dropped link is opened again exactly as the first time, by the write check's reconnect.
    tds.dropConnections();
    QVERIFY_THROWS_NO_EXCEPTION(connection.lab().checkWritable());
    QCOMPARE(connection.lab().recentRequests().rowCount(), 0);
}

QTEST_GUILESS_MAIN(ConnectionTest)
#include "tst_connection.moc"
