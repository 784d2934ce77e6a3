#include "StationTestSupport.h"
#include "app/Failure.h"
#include "lookup/LookupKind.h"
#include "station/StationSettings.h"
#include "station/TakeToken.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TextRulesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lookupKind_data();
    void lookupKind();
    void checklistEntry();
    void takeToken_data();
    void takeToken();
    void printLogFolder_data();
    void printLogFolder();
    void autoPrintValue_data();
    void autoPrintValue();
    void autoPrintSettingRoundTrips();
    void printLogFolderIsMadeOnceOrExplained();
};

void TextRulesTest::lookupKind_data() {
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("kind");
    QTest::newRow("digits") << "12345" << 3;
    QTest::newRow("T...C") << "T123C" << 3;
    QTest::newRow("TC") << "TC" << 3;
    QTest::newRow("...B") << "000123B" << 3;
    QTest::newRow("B alone") << "B" << 3;
    QTest::newRow("lower t...c") << "t123c" << 2;
    QTest::newRow("lower b") << "123b" << 2;
    QTest::newRow("T...C with a leading blank") << " T123C" << 2;
    QTest::newRow("T alone") << "T" << 2;
    QTest::newRow("digits with blanks") << " 123 " << 3;
    QTest::newRow("signed decimal") << "-12.5" << 3;
    QTest::newRow("exponent") << "1E5" << 3;
    QTest::newRow("hospital number") << "HN-0042" << 2;
    QTest::newRow("two points") << "1.2.3" << 2;
    QTest::newRow("inf is not a number") << "inf" << 2;
    QTest::newRow("quote inside") << "12'3" << 2;
}

void TextRulesTest::lookupKind() {
    QFETCH(QString, number);
    QFETCH(int, kind);
    QCOMPARE(::lookupKind(number), kind);
}

void TextRulesTest::checklistEntry() {
    QCOMPARE(::checklistEntry(QStringLiteral("B001"), QStringLiteral("HEMA")),
             QStringLiteral("B001 [HEMA] "));
    QCOMPARE(::checklistEntry(QString(), QString()), QStringLiteral(" [] "));
}

void TextRulesTest::takeToken_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("rest");
    QTest::newRow("drive") << "C:\\WINDOWS"
                           << "\\"
                           << "C:"
                           << "WINDOWS";
    QTest::newRow("none") << "abc"
                          << "\\"
                          << "abc"
                          << "";
    QTest::newRow("empty") << ""
                           << "\\"
                           << ""
                           << "";
    QTest::newRow("first character") << "\\x"
                                     << "\\"
                                     << ""
                                     << "x";
    QTest::newRow("long delimiter") << "a--b--c"
                                    << "--"
                                    << "a"
                                    << "b--c";
    QTest::newRow("case-sensitive") << "aXbxc"
                                    << "x"
                                    << "aXb"
                                    << "c";
    // Beyond the 16-bit position the original overflowed; here it simply works.
    QTest::newRow("far delimiter") << QString(40000, QLatin1Char('a')) + QStringLiteral("\\z")
                                   << "\\" << QString(40000, QLatin1Char('a')) << "z";
}

void TextRulesTest::takeToken() {
    QFETCH(QString, source);
    QFETCH(QString, delimiter);
    QFETCH(QString, token);
    QFETCH(QString, rest);
    QCOMPARE(TakeToken(source, delimiter), token);
    QCOMPARE(source, rest);
}

void TextRulesTest::printLogFolder_data() {
    QTest::addColumn<QString>("windir");
    QTest::addColumn<bool>("olderFolderExists");
    QTest::addColumn<QString>("folder");
#ifdef Q_OS_WIN
    QTest::newRow("system drive") << "C:\\WINDOWS" << false << "C:\\PrintLog";
#else
    QTest::newRow("unset: the package's folder") << "" << false << "/var/lib/quillon/PrintLog";
    QTest::newRow("unset: an older station's log stays") << "" << true << "/PrintLog";
    QTest::newRow("folder with a backslash")
        << "/srv/station\\Windows" << true << "/srv/station/PrintLog";
    QTest::newRow("no backslash") << "/srv/x" << false << "/srv/x/PrintLog";
#endif
}

void TextRulesTest::printLogFolder() {
    QFETCH(QString, windir);
    QFETCH(bool, olderFolderExists);
    QFETCH(QString, folder);
    QCOMPARE(printLogFolderFor(windir, olderFolderExists), folder);
}

void TextRulesTest::autoPrintValue_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("value");
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("abc") << "abc" << 0;
    QTest::newRow("leading number") << "1abc" << 1;
    QTest::newRow("blank first") << " 1" << 1;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("2") << "2" << 2;
}

void TextRulesTest::autoPrintValue() {
    QFETCH(QString, stored);
    QFETCH(int, value);
    QCOMPARE(AutoPrintSetting::parseValue(stored), value);
}

void TextRulesTest::autoPrintSettingRoundTrips() {
    TestWorld world;
    QCOMPARE(AutoPrintSetting::read(), 1); // absent: on
    AutoPrintSetting::write(0);
    QCOMPARE(AutoPrintSetting::read(), 0);
    AutoPrintSetting::write(1);
    QCOMPARE(AutoPrintSetting::read(), 1);
}

void TextRulesTest::printLogFolderIsMadeOnceOrExplained() {
    TestWorld world;
    const QString folder = world.printLogFolder();
    ensurePrintLogFolder(folder);
    QVERIFY(QDir(folder).exists());
    QFile marker(folder + QStringLiteral("/keep.txt"));
    QVERIFY(marker.open(QIODevice::WriteOnly));
    marker.close();
    ensurePrintLogFolder(folder); // an existing folder is left as it is
    QVERIFY(marker.exists());

    // Two levels missing: only one level is made, so this fails with the folder named.
    const QString deep = world.path() + QStringLiteral("/missing/PrintLog");
    try {
        ensurePrintLogFolder(deep);
        QFAIL("a folder under a missing parent was reported as made");
    } catch (const Failure& failure) {
        QVERIFY(failure.description().contains(QDir::toNativeSeparators(deep)));
        QVERIFY(failure.description().startsWith(QStringLiteral("The print log folder")));
    }
}

QTEST_GUILESS_MAIN(TextRulesTest)
#include "tst_textrules.moc"
