// The ZPL form of a label: its exact command stream, field data that no value can break out of,
// whole-dot Code 128 modules at each printer resolution, and the template settings and printer
// forms for ZPL printers. Labels are read back by an independent ZPL renderer (ZplCheck).
#include "ZplCheck.h"
#include "app/Failure.h"
#include "labels/BarcodeSymbol.h"
#include "labels/LabelPrinting.h"
#include "labels/LabelTemplate.h"
#include "labels/PrintJob.h"
#include "labels/ZplRenderer.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList values(const QString& barcode,
                   const QString& name = QStringLiteral("DELA CRUZ, JUANA")) {
    return {barcode,
            name,
            QStringLiteral("123456"),
            QStringLiteral("CHEM"),
            QStringLiteral("2024-01-15 10:30:45"),
            QStringLiteral("W3"),
            QStringLiteral("42/F")};
}

// The shipped template with settings added at its top level, such as "\"dpi\": 300,".
LabelTemplate shipped(const QByteArray& settings = QByteArray()) {
    QFile file(QCoreApplication::applicationDirPath() + QStringLiteral("/LabBarcodeLabel.rpt"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("the shipped label template is not beside the test");
    QByteArray json = file.readAll();
    if (settings.contains("\"printer\""))
        json.replace("\"printer\": \"\",", "");
    json.replace("\"version\": 1,", QByteArray("\"version\": 1, ").append(settings));
    return LabelTemplate::parse(json, QStringLiteral("LabBarcodeLabel.rpt"),
                                QStringLiteral("/srv"));
}

QByteArray render(const LabelTemplate& label, const QStringList& v) {
    return ZplRenderer::render(label, v, QStringLiteral("Quillon"));
}

// The stream's commands alone: every field's data and every number taken out.
QByteArray commands(const QByteArray& zpl) {
    static const QRegularExpression data(QStringLiteral("\\^FD[^\\^~]*\\^FS"));
    static const QRegularExpression numbers(QStringLiteral("[0-9,]+"));
    return QString::fromLatin1(zpl)
        .replace(data, QStringLiteral("^FD^FS"))
        .replace(numbers, QString())
        .toLatin1();
}

} // namespace

class TestZplRenderer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The whole stream of a small label (tests/zpl/small-label.rpt), as a ZPL printer receives
    // it.
    void goldenStream() {
        const LabelTemplate label =
            LabelTemplate::load(QStringLiteral(QUILLON_SOURCE_DIR "/tests/zpl/small-label.rpt"));
        const QByteArray zpl = render(label, {QStringLiteral("2401150001"),
                                              QStringLiteral("SANTOS, ANA"), QStringLiteral("42")});
        QFile golden(QStringLiteral(QUILLON_SOURCE_DIR "/tests/zpl/small-label.zpl"));
        QVERIFY(golden.open(QIODevice::ReadOnly));
        const QByteArray expected = golden.readAll();
        if (zpl != expected) { // the whole stream, to compare with the golden file
            QFile actual(QStringLiteral(QUILLON_BINARY_DIR "/tests/small-label.actual.zpl"));
            if (actual.open(QIODevice::WriteOnly))
                actual.write(zpl);
        }
        QCOMPARE(zpl, expected);
    }

    // No value reaches the printer as anything but field data: the command stream stays that of
    // a plain value, and the value's bytes arrive as hex escapes.
    void hostileValues_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data"); // the name's field data, as sent
        QTest::newRow("caret and tilde") << "A^B~C" << QByteArray("A_5EB_7EC");
        QTest::newRow("backslash and escape sign") << "A\\&B_C" << QByteArray("A_5C&B_5FC");
        QTest::newRow("a whole format")
            << "X^XZ^XA^FO0,0^FDFAKE^FS" << QByteArray("X_5EXZ_5EXA_5EFO0,0_5EFDFAKE_5EFS");
        QTest::newRow("line breaks") << "ANA\r\nCRUZ" << QByteArray("ANA  CRUZ");
        QTest::newRow("NUL") << QString::fromUtf16(u"ANA\u0000CRUZ", 8) << QByteArray("ANA CRUZ");
        QTest::newRow("Latin-1 in UTF-8")
            << QStringLiteral("\u00c9LO\u00cfSE") << QByteArray("_C3_89LO_C3_8FSE");
        QTest::newRow("300 characters, cut to the box") // no data given: cut
            << QString(300, QLatin1Char('W')) << QByteArray();
    }
    void hostileValues() {
        QFETCH(QString, name);
        QFETCH(QByteArray, data);
        const LabelTemplate label = shipped();
        const QByteArray plain =
            render(label, values(QStringLiteral("2401150001"), QStringLiteral("ANA")));
        const QByteArray hostile = render(label, values(QStringLiteral("2401150001"), name));
        QCOMPARE(commands(hostile), commands(plain));
        for (const char c : hostile)
            QVERIFY2(c >= 0x20 ? c < 0x7f : c == '\n', "only printable ASCII goes to the printer");
        static const QRegularExpression firstField(QStringLiteral("\\^FD([^\\^]*)\\^FS"));
        const QString sent = firstField.match(QString::fromLatin1(hostile)).captured(1);
        if (!data.isEmpty()) {
            QCOMPARE(sent.toLatin1(), data);
        } else {
            // Cut with an ellipsis, within its 47 mm box of 8 dots a mm.
            QVERIFY2(sent.endsWith(QLatin1String("...")), qPrintable(sent));
            QVERIFY(sent.size() < 60);
            QVERIFY(ZplRenderer::textWidth(sent, 10) <= 375);
        }
    }

    // Characters the printer's resident font lacks fail the label as the request's fault, unless
    // the template names a printer font that has them; then they go as UTF-8.
    void charactersTheFontLacks() {
        const QString thai = QStringLiteral("\u0e2a\u0e21\u0e0a\u0e32\u0e22");
        try {
            render(shipped(), values(QStringLiteral("2401150001"), thai));
            QFAIL("no failure");
        } catch (const RequestDataFailure& failure) {
            QVERIFY2(failure.description().contains(
                         QStringLiteral("of the field PatientName cannot be printed on the ZPL")),
                     qPrintable(failure.description()));
        }
        const QByteArray zpl = render(shipped("\"printerFont\": \"E:TT0003M_.TTF\","),
                                      values(QStringLiteral("2401150001"), thai));
        QVERIFY(zpl.contains("^A@N,23,23,E:TT0003M_.TTF^FH^FD_E0_B8_AA_E0_B8_A1"));
    }

    // A barcode the printer cannot encode is the request's fault, as on the other printers.
    void barcodeFaults_data() {
        QTest::addColumn<QString>("barcode");
        QTest::addColumn<QString>("message");
        QTest::newRow("euro") << QStringLiteral("B3\u20ac0") << "cannot be printed as CODE128";
        QTest::newRow("Latin-1, which the printer's Code 128 does not take")
            << QStringLiteral("B\u00e90") << "only printable ASCII characters can be";
        QTest::newRow("too long for the box")
            << QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ-ABCDEFGHIJKLMNOPQRSTUVW")
            << "does not fit its 47.0 x 11.7 mm box";
    }
    void barcodeFaults() {
        QFETCH(QString, barcode);
        QFETCH(QString, message);
        try {
            render(shipped(), values(barcode));
            QFAIL("no failure");
        } catch (const RequestDataFailure& failure) {
            QVERIFY2(failure.description().contains(message), qPrintable(failure.description()));
        }
    }

    // Code 128 is the printer's own command, with the widest module of whole dots that fits the
    // box at the template's dpi; the label reads back at every resolution.
    void wholeDotModules_data() {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QString>("barcode");
        QTest::addColumn<int>("module");
        QTest::newRow("203 dpi") << 203 << "2401150001" << 3;
        QTest::newRow("300 dpi") << 300 << "LAB-24-000123" << 3;
        QTest::newRow("600 dpi") << 600 << "AB^12~\\_>" << 7;
    }
    void wholeDotModules() {
        QFETCH(int, dpi);
        QFETCH(QString, barcode);
        QFETCH(int, module);
        const LabelTemplate label = shipped(QStringLiteral("\"dpi\": %1,").arg(dpi).toLatin1());
        const QByteArray zpl = render(label, values(barcode));
        static const QRegularExpression bars(
            QStringLiteral("\\^FO(\\d+),(\\d+)\\^BY(\\d+)\\^BCN,(\\d+),N,N,N,A"));
        const QRegularExpressionMatch m = bars.match(QString::fromLatin1(zpl));
        QVERIFY2(m.hasMatch(), zpl.constData());
        QCOMPARE(m.captured(3).toInt(), module);
        // The widest that fits: one dot more and the symbol with its quiet zones overflows.
        const auto& item = std::get<LabelBarcode>(label.items.at(3));
        const double perMm = dpi / 25.4;
        const int box =
            int(std::floor(item.box.right() * perMm)) - int(std::ceil(item.box.left() * perMm));
        const int modules =
            int(BarcodeSymbol::encode(item.symbology, barcode, true).size().width());
        QVERIFY(module * modules <= box && (module + 1) * modules > box);

        if (const QString missing = ZplCheck::missing(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        QCOMPARE(ZplCheck::scan({zpl}, label.size, dpi), QList<QStringList>{{barcode}});
    }

    // A ZPL folder gets each label as a whole file of its own, nothing else.
    void zplFolder() {
        QTemporaryDir dir;
        QFile rpt(dir.filePath(QStringLiteral("LabBarcodeLabel.rpt")));
        QVERIFY(rpt.open(QIODevice::WriteOnly));
        const LabelTemplate label = shipped("\"printer\": \"zpl:file:out\",");
        QFile source(QCoreApplication::applicationDirPath() +
                     QStringLiteral("/LabBarcodeLabel.rpt"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        rpt.write(source.readAll().replace("\"printer\": \"\"", "\"printer\": \"zpl:file:out\""));
        rpt.close();
        LabelPrinting printing;
        printing.setTemplatePath(rpt.fileName());
        printing.checkReady();
        printing.printBarcodeLabel(QStringLiteral("2401150001"), QStringLiteral("ANA"), {}, {}, {},
                                   {}, QStringLiteral("/"), 2);
        const QDir out(dir.filePath(QStringLiteral("out")));
        const QStringList files = out.entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(files.size(), 2);
        for (const QString& name : files) {
            QVERIFY2(name.startsWith(QLatin1String("label-")) &&
                         name.endsWith(QLatin1String(".zpl")),
                     qPrintable(name));
            QFile zpl(out.filePath(name));
            QVERIFY(zpl.open(QIODevice::ReadOnly));
            QCOMPARE(zpl.readAll(), render(label, {QStringLiteral("2401150001"),
                                                   QStringLiteral("ANA"),
                                                   {},
                                                   {},
                                                   {},
                                                   {},
                                                   QStringLiteral("/")}));
        }
    }

    void printerForms_data() {
        QTest::addColumn<QString>("printer");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("port");
        using Kind = LabelDestination::Kind;
        QTest::newRow("network, port 9100")
            << "zpl:tcp://10.1.2.3" << int(Kind::ZplNetwork) << "10.1.2.3" << 9100;
        QTest::newRow("network, own port")
            << "zpl:tcp://printer.lab:6101" << int(Kind::ZplNetwork) << "printer.lab" << 6101;
        QTest::newRow("network, IPv6")
            << "zpl:tcp://[fd00::7]:9100" << int(Kind::ZplNetwork) << "fd00::7" << 9100;
        QTest::newRow("raw queue")
            << "zpl:queue:Zebra Raw" << int(Kind::ZplQueue) << "Zebra Raw" << 0;
        QTest::newRow("folder") << "zpl:file:out" << int(Kind::ZplFolder) << "/srv/out" << 0;
    }
    void printerForms() {
        QFETCH(QString, printer);
        QFETCH(int, kind);
        QFETCH(QString, target);
        QFETCH(int, port);
        const LabelTemplate label =
            shipped(QStringLiteral("\"printer\": \"%1\",").arg(printer).toUtf8());
        const LabelDestination d = LabelDestination::fromTemplate(label);
        QCOMPARE(int(d.kind()), kind);
        QCOMPARE(d.target(), target);
        QCOMPARE(int(d.port()), port);
    }

    void settingFaults_data() {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("message");
        QTest::newRow("dpi") << QByteArray("\"dpi\": 250,") << "\"dpi\" must be 203, 300 or 600";
        QTest::newRow("darkness") << QByteArray("\"darkness\": 31,")
                                  << "\"darkness\" must be a whole number from 0 to 30";
        QTest::newRow("speed") << QByteArray("\"speed\": 2.5,")
                               << "\"speed\" must be a whole number from 1 to 14";
        QTest::newRow("status") << QByteArray("\"status\": \"blind\",")
                                << "\"status\" must be \"on\" or \"off\"";
        QTest::newRow("printer font")
            << QByteArray("\"printerFont\": \"^XA\",") << "\"printerFont\" must name a font";
        QTest::newRow("zpl with no form") << QByteArray("\"printer\": \"zpl:10.1.2.3\",")
                                          << "must be \"zpl:tcp://<host>[:<port>]\"";
        QTest::newRow("tcp with a path")
            << QByteArray("\"printer\": \"zpl:tcp://10.1.2.3/x\",") << "must be \"zpl:tcp://";
        QTest::newRow("queue with no name")
            << QByteArray("\"printer\": \"zpl:queue:\",") << "must be \"zpl:tcp://";
    }
    void settingFaults() {
        QFETCH(QByteArray, settings);
        QFETCH(QString, message);
        try {
            shipped(settings);
            QFAIL("no failure");
        } catch (const Failure& failure) {
            QVERIFY2(failure.description().contains(message), qPrintable(failure.description()));
        }
    }
};

QTEST_MAIN(TestZplRenderer)
#include "tst_zplrenderer.moc"
