#include "StationTestSupport.h"
#include "app/DbConnection.h"
#include "app/OdbcConnectionString.h"
#include "app/SettingsStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTest>

class ConnectionTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void escapesValues_data();
    void escapesValues();
    void buildsTheStringInItsOrder();
    void choosesTheBestInstalledDriver();
    void readsTheFourSettings();
    void embeddedOpenFailsWithoutCreatingAFile();
    void embeddedOpenRefusesAFileThatIsNotALabDatabase();
    void reopeningClosesFirst();
    void silentServerFailsInsteadOfHanging();
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

void ConnectionTest::readsTheFourSettings() {
    TestWorld world;
    QCOMPARE(ReadConnectionSettings().server, QString());
    const QString app = QStringLiteral("ORVANT Current User");
    const QString section = QStringLiteral("Connection");
    world.storeSetting(app, section, QStringLiteral("Server"), QStringLiteral("srv"));
    world.storeSetting(app, section, QStringLiteral("Database"), QStringLiteral("db"));
    world.storeSetting(app, section, QStringLiteral("User"), QStringLiteral("u"));
    world.storeSetting(app, section, QStringLiteral("Password"), QStringLiteral("p;w"));
    const ConnectionSettings s = ReadConnectionSettings();
    QCOMPARE(s.server, QStringLiteral("srv"));
    QCOMPARE(s.database, QStringLiteral("db"));
    QCOMPARE(s.user, QStringLiteral("u"));
    QCOMPARE(s.password, QStringLiteral("p;w"));
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

QTEST_GUILESS_MAIN(ConnectionTest)
#include "tst_connection.moc"
