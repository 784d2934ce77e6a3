#include "app/Failure.h"
#include "app/FilePlaces.h"
#include "labels/BarcodeSymbol.h"
#include "labels/LabelTemplate.h"
#include "labels/PrintJob.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTest>
#include <zint.h>

namespace {

// Absolute paths on Windows start with a drive.
#ifdef Q_OS_WIN
const QString drive = QStringLiteral("C:");
#else
const QString drive;
#endif

QByteArray withItems(const QByteArray& items) {
    return R"({ "width": 50, "height": 25, "fields": ["A", "B"], "items": [ )" + items + " ] }";
}

} // namespace

class TestLabelTemplate : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void shippedTemplate() {
        const LabelTemplate t = LabelTemplate::load(QCoreApplication::applicationDirPath() +
                                                    QStringLiteral("/LabBarcodeLabel.rpt"));
        QCOMPARE(t.size, QSizeF(50, 25));
        QCOMPARE(t.printer, QString());
        QCOMPARE(t.fields, (QStringList{"Barcode", "PatientName", "HospNum", "Instrument",
                                        "TransDate", "RoomID", "AgeSex"}));
        QList<int> shown; // every one of the seven values appears on the label
        for (const LabelItem& item : t.items) {
            if (const auto* text = std::get_if<LabelText>(&item))
                shown.append(text->content.field);
            if (const auto* barcode = std::get_if<LabelBarcode>(&item)) {
                shown.append(barcode->content.field);
                QCOMPARE(barcode->symbology, BARCODE_CODE128);
                QVERIFY(barcode->humanReadable);
                QCOMPARE(barcode->content.field, 0);
            }
        }
        for (int field = 0; field < 7; ++field)
            QVERIFY2(shown.contains(field), qPrintable(t.fields.at(field)));
    }

    void itemsAndDefaults() {
        const LabelTemplate t = LabelTemplate::parse(
            withItems(
                R"({ "type": "text", "title": true, "x": 0, "y": 0, "width": 50, "height": 25 },
                         { "type": "text", "field": "B", "prefix": "N: ", "font": "Liberation Serif",
                           "size": 9, "bold": true, "align": "right", "x": 1, "y": 2, "width": 3, "height": 4 },
                         { "type": "barcode", "text": "FIXED", "symbology": "Data Matrix",
                           "humanReadable": false, "quietZones": false, "x": 0, "y": 0, "width": 10, "height": 10 },
                         { "type": "line", "x1": 0, "y1": 25, "x2": 50, "y2": 25, "comment": "bottom edge" })"),
            QStringLiteral("t.rpt"), QStringLiteral("/labels"));
        QCOMPARE(t.items.size(), std::size_t(4));
        const auto& title = std::get<LabelText>(t.items[0]);
        QCOMPARE(title.content.source, LabelContent::Source::Title);
        QCOMPARE(title.font.family, QStringLiteral("Arial"));
        QCOMPARE(title.font.size, 7.0);
        QCOMPARE(title.align, LabelAlign::Left);
        const auto& named = std::get<LabelText>(t.items[1]);
        QCOMPARE(named.content.field, 1);
        QCOMPARE(named.prefix, QStringLiteral("N: "));
        QCOMPARE(named.font.family, QStringLiteral("Liberation Serif"));
        QVERIFY(named.font.bold);
        QCOMPARE(named.align, LabelAlign::Right);
        QCOMPARE(named.box, QRectF(1, 2, 3, 4));
        const auto& code = std::get<LabelBarcode>(t.items[2]);
        QCOMPARE(code.content.text, QStringLiteral("FIXED"));
        QCOMPARE(code.symbology, BARCODE_DATAMATRIX);
        QVERIFY(!code.humanReadable);
        QVERIFY(!code.quietZones);
        const auto& line = std::get<LabelLine>(t.items[3]);
        QCOMPARE(line.thickness, 0.2);
        QCOMPARE(line.to, QPointF(50, 25));
    }

    void symbologyNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("symbology");
        QTest::newRow("zint constant") << "BARCODE_CODE128" << BARCODE_CODE128;
        QTest::newRow("short") << "CODE128" << BARCODE_CODE128;
        QTest::newRow("spoken") << "Code 128" << BARCODE_CODE128;
        QTest::newRow("qr") << "QR Code" << BARCODE_QRCODE;
        QTest::newRow("code 39") << "code39" << BARCODE_CODE39;
        QTest::newRow("unknown") << "CODE12X" << 0;
        QTest::newRow("prefix only") << "BARCODE_" << 0;
    }
    void symbologyNames() {
        QFETCH(QString, name);
        QFETCH(int, symbology);
        QCOMPARE(BarcodeSymbol::symbologyByName(name), symbology);
    }

    void destinations_data() {
        QTest::addColumn<QString>("printer");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("target");
        QTest::newRow("default") << "" << int(LabelDestination::Kind::DefaultPrinter) << "";
        QTest::newRow("named") << "Zebra ZD421" << int(LabelDestination::Kind::Printer)
                               << "Zebra ZD421";
        const int pdf = int(LabelDestination::Kind::PdfFolder);
        QTest::newRow("relative folder")
            << "pdf:out/labels" << pdf << drive + "/srv/lab/out/labels";
        QTest::newRow("absolute folder") << "pdf:/tmp/labels" << pdf << drive + "/tmp/labels";
        QTest::newRow("up and over") << "pdf:../pdf" << pdf << drive + "/srv/pdf";
#ifdef Q_OS_WIN
        QTest::newRow("share") << "pdf:\\\\lab\\labels\\" << pdf << "//lab/labels";
        QTest::newRow("drive") << "pdf:D:\\labels" << pdf << "D:/labels";
#endif
    }
#ifdef Q_OS_WIN
    // A relative folder of a template where the account may not write is taken from its data
    // folder. Under Wine as root only the host's /sys/kernel (not read-only) refuses a new file.
    void relativeFoldersWhereTheTemplateFolderTakesNoFile() {
        QCOMPARE(FilePlaces::labelBaseFolder(QDir::tempPath()), QDir::tempPath());
        QCOMPARE(FilePlaces::labelBaseFolder(QStringLiteral("Z:/sys/kernel")),
                 QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                     QStringLiteral("/Quillon"));
    }
#endif
    void destinations() {
        QFETCH(QString, printer);
        QFETCH(int, kind);
        QFETCH(QString, target);
        LabelTemplate t;
        t.folder = drive + QStringLiteral("/srv/lab");
        t.printer = printer;
        const LabelDestination d = LabelDestination::fromTemplate(t);
        QCOMPARE(int(d.kind()), kind);
        QCOMPARE(d.target(), target);
    }

    void faults_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("message");
        const QByteArray box = R"("x": 0, "y": 0, "width": 10, "height": 5)";
        QTest::newRow("not json") << QByteArray("{\n  \"width\": 50,\n  \"height\" 25 }")
                                  << "line 3, column";
        QTest::newRow("not an object") << QByteArray("[1, 2]") << "one object in braces";
        QTest::newRow("no width") << QByteArray(R"({ "height": 25, "fields": [], "items": [] })")
                                  << "\"width\" is missing";
        QTest::newRow("height zero")
            << QByteArray(R"({ "width": 50, "height": 0, "fields": [], "items": [] })")
            << "\"height\" must be a number above 0";
        QTest::newRow("size as text")
            << QByteArray(R"({ "width": "50mm", "height": 25, "fields": [], "items": [] })")
            << "\"width\" must be a number";
        QTest::newRow("misspelt setting")
            << QByteArray(
                   R"({ "width": 50, "height": 25, "printr": "", "fields": [], "items": [] })")
            << "unknown setting \"printr\"";
        QTest::newRow("later version")
            << QByteArray(
                   R"({ "version": 2, "width": 50, "height": 25, "fields": [], "items": [] })")
            << "\"version\": 1 only";
        QTest::newRow("pdf without folder")
            << QByteArray(
                   R"({ "width": 50, "height": 25, "printer": "pdf:", "fields": [], "items": [] })")
            << "must name a folder";
        QTest::newRow("fields not a list")
            << QByteArray(R"({ "width": 50, "height": 25, "fields": "A, B", "items": [] })")
            << "\"fields\" must be a list";
        QTest::newRow("field twice")
            << QByteArray(R"({ "width": 50, "height": 25, "fields": ["A", "A"], "items": [] })")
            << "\"A\" is listed twice";
        QTest::newRow("no items") << QByteArray(R"({ "width": 50, "height": 25, "fields": [] })")
                                  << "\"items\" must be";
        QTest::newRow("unknown type")
            << withItems(R"({ "type": "circle" })") << "item 1: \"type\" must be";
        QTest::newRow("two sources")
            << withItems(R"({ "type": "text", "text": "x", "field": "A", )" + box + " }")
            << "item 1 (text): give exactly one of";
        QTest::newRow("no source") << withItems(R"({ "type": "text", )" + box + " }")
                                   << "item 1 (text): give exactly one of";
        QTest::newRow("unknown field")
            << withItems(R"({ "type": "line", "x1": 0, "y1": 0, "x2": 1, "y2": 1 },
                            { "type": "text", "field": "Nmae", )" +
                         box + " }")
            << "item 2 (text): \"field\" names \"Nmae\", which is not among the \"fields\" (A, B)";
        QTest::newRow("misspelt item setting")
            << withItems(R"({ "type": "text", "field": "A", "sise": 7, )" + box + " }")
            << "item 1 (text): unknown setting \"sise\"";
        QTest::newRow("no box") << withItems(R"({ "type": "text", "field": "A" })")
                                << "item 1 (text): \"x\" is missing";
        QTest::newRow("beyond the label")
            << withItems(
                   R"({ "type": "text", "field": "A", "x": 45, "y": 0, "width": 10, "height": 5 })")
            << "item 1 (text): the box reaches beyond the 50 x 25 mm label";
        QTest::newRow("line beyond the label")
            << withItems(R"({ "type": "line", "x1": 0, "y1": 0, "x2": 60, "y2": 1 })")
            << "item 1 (line): the line reaches beyond";
        QTest::newRow("alignment")
            << withItems(R"({ "type": "text", "field": "A", "align": "middle", )" + box + " }")
            << "\"align\" must be \"left\", \"center\" or \"right\", not \"middle\"";
        QTest::newRow("unknown symbology")
            << withItems(R"({ "type": "barcode", "field": "A", "symbology": "CODE12X", )" + box +
                         " }")
            << "item 1 (barcode): \"symbology\" \"CODE12X\" is not a barcode kind";
        QTest::newRow("maxicode")
            << withItems(R"({ "type": "barcode", "field": "A", "symbology": "MAXICODE", )" + box +
                         " }")
            << "cannot be printed on labels";
        QTest::newRow("switch as text")
            << withItems(R"({ "type": "barcode", "field": "A", "humanReadable": "yes", )" + box +
                         " }")
            << "\"humanReadable\" must be true or false";
        QTest::newRow("barcode from title")
            << withItems(R"({ "type": "barcode", "title": true, )" + box + " }")
            << "unknown setting \"title\"";
    }
    void faults() {
        QFETCH(QByteArray, json);
        QFETCH(QString, message);
        try {
            LabelTemplate::parse(json, QStringLiteral("/lab/LabBarcodeLabel.rpt"),
                                 QStringLiteral("/lab"));
            QFAIL("the template was accepted");
        } catch (const Failure& failure) {
            QVERIFY2(failure.description().startsWith(QStringLiteral(
                         "The label template \"/lab/LabBarcodeLabel.rpt\" is wrong: ")),
                     qPrintable(failure.description()));
            QVERIFY2(failure.description().contains(message), qPrintable(failure.description()));
        }
    }

    void missingFile() {
        try {
            LabelTemplate::load(QStringLiteral("/nonexistent/LabBarcodeLabel.rpt"));
            QFAIL("a missing template was read");
        } catch (const Failure& failure) {
            QVERIFY2(failure.description().startsWith(
                         QStringLiteral("The label template \"") +
                         QDir::toNativeSeparators(QStringLiteral("/nonexistent/")) +
                         QStringLiteral("LabBarcodeLabel.rpt\" cannot be read")),
                     qPrintable(failure.description()));
        }
    }
};

QTEST_GUILESS_MAIN(TestLabelTemplate)
#include "tst_labeltemplate.moc"
