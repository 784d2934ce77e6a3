// The template tool, quillon-label, run as a separate process as IT runs it, and the engine's
// collection of every template fault it reports.

#include "app/Failure.h"
#include "labels/LabelTemplate.h"
#include "tst_labeltools.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

namespace {

const QString tool = QStringLiteral(QUILLON_BINARY_DIR "/tools/quillon-label");
const QString sampleBarcode = QStringLiteral("240507012301");

struct Outcome {
    int status = -1;
    QString output; // standard output and error together
};

// Runs the tool in folder; "{tpl}" in an argument stands for the shipped template.
Outcome runTool(const QStringList& arguments, const QString& folder,
                const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    const QString shipped =
        QCoreApplication::applicationDirPath() + QStringLiteral("/LabBarcodeLabel.rpt");
    QStringList filled;
    for (QString argument : arguments)
        filled.append(argument.replace(QStringLiteral("{tpl}"), shipped));
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(tool, filled);
    Outcome outcome;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return outcome; // a crash or a hang: no status
    outcome.status = process.exitCode();
    outcome.output = QString::fromUtf8(process.readAll());
    return outcome;
}

QStringList scanPng(const QString& png) {
    return labeltest::run(QStringLiteral("zbarimg"),
                          {QStringLiteral("-q"), QStringLiteral("--raw"), png})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Items with faults of their own, beside faults of the template's settings.
const QByteArray faulty = R"({
  "width": 50, "height": 25, "printr": "", "font": 3,
  "fields": ["Barcode", "Name", "Name"],
  "items": [
    { "type": "text", "field": "Nmae", "sise": 7, "x": 45, "y": 0, "width": 10, "height": 5 },
    { "type": "barcode", "field": "Barcode", "symbology": "CODE12X", "x": 0, "y": 9, "width": 50, "height": -1 },
    { "type": "line", "x1": 0, "y1": 0, "x2": 60 },
    { "type": "circle" }
  ]
})";

} // namespace

class TestLabelTool : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(QFileInfo::exists(tool), qPrintable(tool)); }

    void everyFaultCollected_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("faults");
        QTest::newRow("settings and items")
            << faulty
            << QStringList{
                   R"(: unknown setting "printr")",
                   R"(: "font" must be a text in double quotes)",
                   R"(: the field "Name" is listed twice in "fields")",
                   R"(item 1 (text): unknown setting "sise")",
                   R"(item 1 (text): "field" names "Nmae", which is not among the "fields" (Barcode, Name))",
                   "item 1 (text): the box reaches beyond the 50 x 25 mm label",
                   R"(item 2 (barcode): "symbology" "CODE12X" is not a barcode kind the barcode library knows; use a name such as "CODE128", "CODE39" or "DATAMATRIX")",
                   R"(item 2 (barcode): "height" must be a number above 0)",
                   R"(item 3 (line): "y2" is missing)",
                   R"(item 4: "type" must be "text", "barcode" or "line")"};
        // What cannot be known past a fault is not blamed on the items.
        QTest::newRow("no follow-on faults")
            << QByteArray(R"({ "height": 25, "fields": "A", "items": [
                 { "type": "text", "field": "A", "x": 60, "y": 0, "width": 10, "height": 5 },
                 { "type": "line", "x1": 0, "y1": 0, "x2": 90, "y2": 1 } ] })")
            << QStringList{R"(: "width" is missing)",
                           R"(: "fields" must be a list of parameter field names in [ ])"};
        QTest::newRow("json") << QByteArray("{\n  \"width\": 50,\n  \"height\" 25 }")
                              << QStringList{"line 3, column 13: missing name separator"};
    }
    void everyFaultCollected() {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, faults);
        const LabelTemplateCheck check =
            LabelTemplate::checkText(json, QStringLiteral("t.rpt"), QStringLiteral("/lab"));
        QStringList found;
        for (const LabelTemplateFault& fault : check.faults)
            found.append(fault.place + QStringLiteral(": ") + fault.what);
        QCOMPARE(found, faults);
        QVERIFY(!check.label);
        // The station still stops at the first, in the same words.
        try {
            LabelTemplate::parse(json, QStringLiteral("t.rpt"), QStringLiteral("/lab"));
            QFAIL("the template was accepted");
        } catch (const Failure& failure) {
            const LabelTemplateFault& first = check.faults.front();
            QString where = first.place.isEmpty() ? first.what
                                                  : first.place + QStringLiteral(": ") + first.what;
            if (first.place.startsWith(QLatin1String("line ")))
                where = first.what + QStringLiteral(" at ") + first.place;
            QCOMPARE(failure.description(),
                     QStringLiteral("The label template \"t.rpt\" is wrong: %1.").arg(where));
        }
    }

    // Exit status and message of each command on good and broken input; a failed render
    // leaves no output file behind.
    void commands_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("messages");
        const QStringList render{"render", "{tpl}", "-o", "out.pdf", "--records", "in.csv"};
        QTest::newRow("good template") << "" << QByteArray() << QStringList{"check", "{tpl}"} << 0
                                       << QStringList{"LabBarcodeLabel.rpt: good: a 50 x 25 mm"};
        QTest::newRow("faulty template")
            << "in.rpt" << faulty << QStringList{"check", "in.rpt"} << 1
            << QStringList{R"(in.rpt: unknown setting "printr")",
                           R"(in.rpt: item 1 (text): unknown setting "sise")",
                           R"(in.rpt: item 3 (line): "y2" is missing)", "10 faults in in.rpt."};
        QTest::newRow("faults found by drawing")
            << "in.rpt" << QByteArray(R"({ "width": 50, "height": 25, "fields": ["B"], "items": [
                 { "type": "barcode", "text": "Ωmega", "x": 0, "y": 0, "width": 40, "height": 10 },
                 { "type": "barcode", "field": "B", "x": 0, "y": 12, "width": 10, "height": 5 } ] })")
            << QStringList{"check", "in.rpt"} << 1
            << QStringList{"item 1 (barcode): drawn at 300 dpi: The barcode text \"Ωmega\"",
                           "item 2 (barcode): drawn at 300 dpi with the sample values: The "
                           "barcode \"240507012301\" does not fit",
                           "2 faults"};
        QTest::newRow("missing template")
            << "" << QByteArray() << QStringList{"check", "none.rpt"} << 1
            << QStringList{"none.rpt: cannot be read: No such file or directory"};
        QTest::newRow("render missing template")
            << "" << QByteArray() << QStringList{"render", "none.rpt", "--sample", "-o", "out.pdf"}
            << 1 << QStringList{"The label template \"none.rpt\" cannot be read"};
        QTest::newRow("missing records")
            << "" << QByteArray() << render << 1
            << QStringList{"the records \"in.csv\" cannot be read: No such file or directory"};
        QTest::newRow("empty records") << "in.csv" << QByteArray() << render << 1
                                       << QStringList{"in.csv, line 1: the file is empty"};
        QTest::newRow("no record") << "in.csv" << QByteArray("name,barcode\n") << render << 1
                                   << QStringList{"in.csv holds no record below its first line"};
        QTest::newRow("unknown column")
            << "in.csv" << QByteArray("name,hnn,barcode\nA,1,2\n") << render << 1
            << QStringList{"in.csv, line 1: unknown column \"hnn\""};
        QTest::newRow("short record")
            << "in.csv" << QByteArray("name,hn,barcode\nA,1,2\nB,1\n") << render << 1
            << QStringList{"in.csv, line 3: 2 values, but the first line names 3 columns"};
        QTest::newRow("unclosed quote")
            << "in.csv" << QByteArray("name,barcode\nA,1\n\"B,2\nC,3\n") << render << 1
            << QStringList{"in.csv, line 3: a quoted value is never closed"};
        QTest::newRow("not UTF-8")
            << "in.csv" << QByteArray("name,barcode\nA,1\n\xe9,2\n") << render << 1
            << QStringList{"in.csv, line 3: the text is not UTF-8"};
        QTest::newRow("barcode of a record")
            << "in.csv" << QByteArray("name,barcode\nA,1\nB,Ω\n") << render << 1
            << QStringList{"in.csv, line 3: The barcode text \"Ω\" cannot be printed as CODE128"};
        QTest::newRow("no command")
            << "" << QByteArray() << QStringList{} << 2 << QStringList{"give a command"};
        QTest::newRow("two value sources")
            << "" << QByteArray()
            << QStringList{"render", "{tpl}", "--sample", "--values", "1", "-o", "out.pdf"} << 2
            << QStringList{"one of --values"};
        QTest::newRow("eight values")
            << "" << QByteArray()
            << QStringList{"render", "{tpl}", "--values", "1,2,3,4,5,6,7,8", "-o", "out.pdf"} << 2
            << QStringList{"seven values; 8 were given"};
        QTest::newRow("lone backslash")
            << "" << QByteArray()
            << QStringList{"render", "{tpl}", "--values", "1,a\\b", "-o", "out.pdf"} << 2
            << QStringList{"a backslash goes before a comma or a backslash only"};
        QTest::newRow("records to png")
            << "in.csv" << QByteArray("barcode\n1\n")
            << QStringList{"render", "{tpl}", "--records", "in.csv", "-o", "out.png"} << 2
            << QStringList{"--records writes a PDF"};
    }
    void commands() {
        QFETCH(QString, input);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QStringList, messages);
        QTemporaryDir dir;
        if (!input.isEmpty())
            labeltest::writeFile(dir.filePath(input), content);
        const Outcome outcome = runTool(arguments, dir.path());
        QVERIFY2(outcome.status == status, qPrintable(outcome.output));
        for (const QString& message : messages)
            QVERIFY2(outcome.output.contains(message), qPrintable(outcome.output));
        if (status != 0) {
            QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("out.pdf"))));
            QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("out.png"))));
        }
    }

    // What render and print write scans back to the barcode they were given, and the values
    // land in their fields; also with no display at all, or one that cannot be opened.
    void labelsScanBack_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("display"); // "" as the tests run, "none", "dead", "xcb"
        QTest::addColumn<QStringList>("barcodes");
        QTest::addColumn<QStringList>("texts");
        const QStringList sample{sampleBarcode};
        const QStringList sampleTexts{"O'Brien-Peñaranda \"Dela Cruz\" Łukasiewicz", "HN 0104217",
                                      "Rm Ward 3-7"};
        QTest::newRow("sample png, no display")
            << QStringList{"render", "{tpl}", "--sample", "-o", "out.png"} << "none" << sample
            << QStringList{};
        QTest::newRow("sample png at 203 dpi")
            << QStringList{"render", "{tpl}", "--sample", "--dpi", "203", "-o", "out.png"} << ""
            << sample << QStringList{};
        QTest::newRow("sample pdf, display gone")
            << QStringList{"render", "{tpl}", "--sample", "-o", "out.pdf"} << "dead" << sample
            << sampleTexts;
        QTest::newRow("sample png, a platform named that cannot start")
            << QStringList{"render", "{tpl}", "--sample", "-o", "out.png"} << "xcb" << sample
            << QStringList{};
        QTest::newRow("values with an escaped comma")
            << QStringList{"render",
                           "{tpl}",
                           "--values",
                           "2405070001,SANTOS\\, ANA,0100017,Hema XN-3,2024-05-07 10:00:00,ICU-2,"
                           "42/F",
                           "-o",
                           "out.pdf"}
            << "" << QStringList{"2405070001"}
            << QStringList{"SANTOS, ANA", "HN 0100017",          "42/F",
                           "Hema XN-3",   "2024-05-07 10:00:00", "Rm ICU-2"};
        QTest::newRow("repeated value")
            << QStringList{"render",       "{tpl}",   "--value", "2405070002", "--value",
                           "REYES, 'JUN'", "--value", "0100018", "-o",         "out.pdf"}
            << "" << QStringList{"2405070002"} << QStringList{"REYES, 'JUN'", "HN 0100018"};
        QTest::newRow("records, one page each")
            << QStringList{"render", "{tpl}", "--records", "in.csv", "-o", "out.pdf"} << ""
            << QStringList{"2401150001", "2401150002", "2401150003"}
            << QStringList{"SANTOS, ANA HN 100001", "O\"BRIEN \"JR\" HN 100002", "Rm W3"};
        QTest::newRow("print, as the station")
            << QStringList{"print", "pdf.rpt", "--values", "2405070003,CRUZ\\, LUZ,0100019"} << ""
            << QStringList{"2405070003"} << QStringList{"CRUZ, LUZ", "HN 0100019"};
    }
    void labelsScanBack() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, display);
        QFETCH(QStringList, barcodes);
        QFETCH(QStringList, texts);
        if (!labeltest::toolsInstalled())
            QSKIP("poppler-utils or zbar-tools are not installed");
        QTemporaryDir dir;
        // Records as the benchmark writes them, with a BOM, CRLF, a quoted comma and quotes.
        labeltest::writeFile(dir.filePath(QStringLiteral("in.csv")),
                             "\xEF\xBB\xBFname,hn,group,barcode,room\r\n"
                             "\"SANTOS, ANA\",100001,CHEM,2401150001,\r\n"
                             "\"O\"\"BRIEN \"\"JR\"\"\",100002,HEMA,2401150002,\r\n"
                             "REYES,100003,URINE,2401150003,W3\r\n");
        QFile shipped(QCoreApplication::applicationDirPath() +
                      QStringLiteral("/LabBarcodeLabel.rpt"));
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        labeltest::writeFile(
            dir.filePath(QStringLiteral("pdf.rpt")),
            shipped.readAll().replace(R"("printer": "")", R"("printer": "pdf:printed")"));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!display.isEmpty()) {
            for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
                environment.remove(QString::fromLatin1(name));
        }
        if (display == QLatin1String("dead"))
            environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":987"));
        if (display == QLatin1String("xcb"))
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        const Outcome outcome = runTool(arguments, dir.path(), environment);
        QVERIFY2(outcome.status == 0, qPrintable(outcome.output));

        QStringList written = labeltest::pdfFiles(dir.filePath(QStringLiteral("printed")));
        if (arguments.first() == QLatin1String("render"))
            written = QStringList{dir.filePath(arguments.last())};
        QCOMPARE(written.size(), 1);
        const bool png = written.first().endsWith(QLatin1String(".png"));
        QCOMPARE(png ? scanPng(written.first()) : labeltest::scanPdf(written.first()), barcodes);
        const QString text = png ? QString() : labeltest::pdfText(written.first());
        for (const QString& expected : texts)
            QVERIFY2(text.contains(expected), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestLabelTool)
#include "tst_labeltool.moc"
