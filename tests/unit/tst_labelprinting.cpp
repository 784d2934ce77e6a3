#include "app/Failure.h"
#include "labels/LabelPrinting.h"
#include "labels/LabelTemplate.h"
#include "tst_labeltools.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

// The shipped template, printing into the folder "labels" beside it as PDF files.
QString writeShippedTemplate(const QTemporaryDir& dir,
                             const QString& printer = QStringLiteral("pdf:labels")) {
    QFile shipped(QCoreApplication::applicationDirPath() + QStringLiteral("/LabBarcodeLabel.rpt"));
    if (!shipped.open(QIODevice::ReadOnly))
        qFatal("the shipped label template is not beside the test");
    QString text = QString::fromUtf8(shipped.readAll());
    text.replace(QRegularExpression(QStringLiteral("\"printer\"\\s*:\\s*\"[^\"]*\"")),
                 QStringLiteral("\"printer\": \"%1\"").arg(printer));
    const QString path = dir.filePath(QStringLiteral("LabBarcodeLabel.rpt"));
    labeltest::writeFile(path, text.toUtf8());
    return path;
}

// A template of n text fields named misleadingly, each shown as "F<position>=<value>".
QString writeFieldsTemplate(const QTemporaryDir& dir, int n) {
    const QStringList names{"PatientName", "Barcode",   "AgeSex",  "Room", "HospNum",
                            "Instrument",  "TransDate", "Comment", "Ward", "Doctor"};
    QStringList fields;
    QStringList items;
    for (int i = 0; i < n; ++i) {
        fields.append(QLatin1Char('"') + names.at(i) + QLatin1Char('"'));
        items.append(QStringLiteral(R"({ "type": "text", "field": "%1", "prefix": "F%2=", "x": 1,
            "y": %3, "width": 48, "height": 2.4, "size": 5 })")
                         .arg(names.at(i))
                         .arg(i + 1)
                         .arg(i * 2.4 + 0.5));
    }
    const QString json = QStringLiteral(R"({ "width": 50, "height": 25, "printer": "pdf:out",
        "fields": [%1], "items": [%2] })")
                             .arg(fields.join(QLatin1Char(',')), items.join(QLatin1Char(',')));
    const QString path = dir.filePath(QStringLiteral("fields.rpt"));
    labeltest::writeFile(path, json.toUtf8());
    return path;
}

const QStringList seven{
    "2401150001", "DELA CRUZ, JUANA", "123456", "CHEM", "2024-01-15 10:30:45", "W3", "42/F"};

// requestData: the failure is one request's own, so the station may go on with the others.
void expectFailure(const std::function<void()>& action, const QString& message,
                   bool requestData = false) {
    try {
        action();
        QFAIL("no failure");
    } catch (const Failure& failure) {
        QVERIFY2(failure.description().contains(message), qPrintable(failure.description()));
        QCOMPARE(dynamic_cast<const RequestDataFailure*>(&failure) != nullptr, requestData);
    }
}

// Every file under the folder, hidden ones included, relative to it.
QStringList allFiles(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(folder).relativeFilePath(it.next()));
    files.sort();
    return files;
}

// While alive, no file of this process may grow beyond a few bytes: a disk that is all but full.
class FullDisk {
public:
    FullDisk() {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_signal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = m_saved;
        tiny.rlim_cur = 100;
        setrlimit(RLIMIT_FSIZE, &tiny);
    }
    ~FullDisk() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_signal);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

private:
    rlimit m_saved{};
    void (*m_signal)(int) = nullptr;
};

} // namespace

class TestLabelPrinting : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Values go to the fields by position, as far as both reach; names play no part.
    void valuesByPosition_data() {
        QTest::addColumn<int>("fields");
        QTest::addColumn<QStringList>("printed");
        QTest::newRow("five fields")
            << 5
            << QStringList{"F1=2401150001", "F2=DELA CRUZ, JUANA", "F3=123456", "F4=CHEM",
                           "F5=2024-01-15 10:30:45"};
        QTest::newRow("seven fields") << 7 << QStringList{"F1=2401150001", "F6=W3", "F7=42/F"};
        QTest::newRow("nine fields")
            << 9 << QStringList{"F1=2401150001", "F7=42/F", "F8= F9="}; // 8 and 9 print empty
    }
    void valuesByPosition() {
        QFETCH(int, fields);
        QFETCH(QStringList, printed);
        QTemporaryDir dir;
        LabelPrinting printing;
        printing.prepareReport(writeFieldsTemplate(dir, fields), seven);
        Report* report = printing.activeReport();
        QVERIFY(report);
        QCOMPARE(report->reportTitle(), QStringLiteral("Quillon"));
        const auto& parameters = report->parameterFields();
        QCOMPARE(int(parameters.size()), fields);
        for (int i = 0; i < fields; ++i) {
            QCOMPARE(parameters[std::size_t(i)].hasCurrentValue(), i < 7);
            QCOMPARE(parameters[std::size_t(i)].currentValue(), seven.value(i));
        }
        printing.presentReport(false, LabelPrinting::printCaption(), true);
        QVERIFY(!printing.activeReport());

        if (!labeltest::toolsInstalled())
            QSKIP("poppler-utils are not installed");
        const QStringList files = labeltest::pdfFiles(dir.filePath(QStringLiteral("out")));
        QCOMPARE(files.size(), 1);
        const QString text = labeltest::pdfText(files.first());
        for (const QString& p : printed)
            QVERIFY2(text.contains(p), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("F6=")) || fields >= 6, qPrintable(text));
    }

    void noValuesLeavesFieldsUnset() {
        QTemporaryDir dir;
        LabelPrinting printing;
        printing.prepareReport(writeFieldsTemplate(dir, 3), {});
        for (const auto& field : printing.activeReport()->parameterFields())
            QVERIFY(!field.hasCurrentValue());
        // The engine's own default asks for missing values, and this engine cannot ask.
        expectFailure([&] { printing.activeReport()->printOut(false); },
                      QStringLiteral("needs values for PatientName, Barcode, AgeSex"));
    }

    // Each copy is a print job of its own; fewer than one copy prints nothing.
    void copies_data() {
        QTest::addColumn<int>("copies");
        QTest::addColumn<int>("files");
        QTest::newRow("three") << 3 << 3;
        QTest::newRow("one") << 1 << 1;
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("negative") << -1 << 0;
        QTest::newRow("most negative") << -32768 << 0;
    }
    void copies() {
        QFETCH(int, copies);
        QFETCH(int, files);
        QTemporaryDir dir;
        LabelPrinting printing;
        printing.setTemplatePath(writeShippedTemplate(dir));
        printing.printBarcodeLabel(seven[0], seven[1], seven[2], seven[3], seven[4], seven[5],
                                   seven[6], qint16(copies));
        QVERIFY(!printing.activeReport());
        const QStringList printed = labeltest::pdfFiles(dir.filePath(QStringLiteral("labels")));
        QCOMPARE(printed.size(), files);
        if (files > 1 && labeltest::toolsInstalled()) {
            for (const QString& pdf : printed)
                QCOMPARE(labeltest::scanPdf(pdf), QStringList{seven[0]});
        }
    }

    // The printed PDF carries the values as they were given, and its barcode scans back.
    void printedLabel_data() {
        QTest::addColumn<QString>("barcode");
        QTest::addColumn<QString>("ageSex");
        QTest::newRow("plain") << "2401150001"
                               << "42/F";
        QTest::newRow("quote") << "AB\"1234"
                               << "7/M";
        QTest::newRow("blanks") << "12 34 56"
                                << "/";
        QTest::newRow("letters and dash") << "LAB-24-000123"
                                          << "/F";
        QTest::newRow("longest that fits") << QStringLiteral("LAB-ABCDEFGHIJKLMNOP") << "/F";
    }
    void printedLabel() {
        QFETCH(QString, barcode);
        QFETCH(QString, ageSex);
        if (!labeltest::toolsInstalled())
            QSKIP("poppler-utils or zbar-tools are not installed");
        QTemporaryDir dir;
        LabelPrinting printing;
        printing.setTemplatePath(writeShippedTemplate(dir));
        printing.printBarcodeLabel(barcode, seven[1], seven[2], seven[3], seven[4], seven[5],
                                   ageSex, 1);
        const QStringList files = labeltest::pdfFiles(dir.filePath(QStringLiteral("labels")));
        QCOMPARE(files.size(), 1);
        const QString text = labeltest::pdfText(files.first());
        for (const QString& value : {seven[1], QStringLiteral("HN 123456"), seven[3], seven[4],
                                     QStringLiteral("Rm W3"), ageSex, barcode})
            QVERIFY2(text.contains(value), qPrintable(value + QStringLiteral(" not in: ") + text));
        QCOMPARE(labeltest::scanPdf(files.first()), QStringList{barcode});
    }

    // The template is found beside the executable, whatever the working folder.
    void templateBesideTheExecutable() {
        QTemporaryDir elsewhere;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(elsewhere.path()));
        LabelPrinting printing;
        QCOMPARE(printing.templatePath(),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/LabBarcodeLabel.rpt"));
        printing.prepareReport(printing.templatePath(), seven);
        QDir::setCurrent(before);
        QCOMPARE(printing.activeReport()->parameterFields().size(), std::size_t(7));
        QCOMPARE(printing.activeReport()->parameterFields()[6].currentValue(), seven[6]);
    }

    // A failure ends the copy at that point; the copies after it are not printed. Only a fault
    // of the values is the request's; the rest stops every label until it is mended.
    void failures_data() {
        QTest::addColumn<QString>("printer");
        QTest::addColumn<QString>("barcode");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("requestData");
        QTest::newRow("unknown printer")
            << "No Such Printer"
            << "2401150001"
            << "The label printer \"No Such Printer\" is not installed." << false;
        QTest::newRow("folder under a file") << "pdf:blocker/labels"
                                             << "2401150001"
                                             << "cannot be created" << false;
        QTest::newRow("barcode not encodable") << "pdf:labels" << QStringLiteral("\u00e9\u4e2d")
                                               << "cannot be printed as CODE128" << true;
        // Fails inside the PDF job, after the file was begun.
        QTest::newRow("euro in Code 128") << "pdf:labels" << QStringLiteral("B3\u20ac0")
                                          << "cannot be printed as CODE128" << true;
        QTest::newRow("barcode too long for its box")
            << "pdf:labels" << QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ-ABCDEFGHIJKLMNOPQRSTUVW")
            << "does not fit its 47.0 x 11.7 mm box" << true;
        QTest::newRow("barcode denser than the printer")
            << "pdf:labels" << QStringLiteral("LAB-2024-ABCDEFGHIJKLMNOPQRSTUVWXYZ0")
            << "with its thinnest bar one dot of a 203 dpi printer (0.125 mm) it needs" << true;
    }
    void failures() {
        QFETCH(QString, printer);
        QFETCH(QString, barcode);
        QFETCH(QString, message);
        QFETCH(bool, requestData);
        QTemporaryDir dir;
        labeltest::writeFile(dir.filePath(QStringLiteral("blocker")), "a file, not a folder");
        LabelPrinting printing;
        printing.setTemplatePath(writeShippedTemplate(dir, printer));
        expectFailure(
            [&] {
                printing.printBarcodeLabel(barcode, seven[1], seven[2], seven[3], seven[4],
                                           seven[5], seven[6], 3);
            },
            message, requestData);
        // Not even a hidden temporary stays behind.
        QCOMPARE(allFiles(dir.filePath(QStringLiteral("labels"))), QStringList());
        // The report of the failed copy waits for the next prepareReport to release it.
        QVERIFY(printing.activeReport());
    }

    void missingTemplate() {
        QTemporaryDir dir;
        LabelPrinting printing;
        printing.setTemplatePath(dir.filePath(QStringLiteral("LabBarcodeLabel.rpt")));
        expectFailure(
            [&] {
                printing.printBarcodeLabel(seven[0], seven[1], seven[2], seven[3], seven[4],
                                           seven[5], seven[6], 2);
            },
            QStringLiteral("The label template \"%1\" cannot be read")
                .arg(QDir::toNativeSeparators(printing.templatePath())));
        QVERIFY(!printing.activeReport());
    }

    // The next label could be printed, whatever its values; the check prints nothing and leaves
    // no file behind.
    void checkReady_data() {
        QTest::addColumn<QString>("printer");
        QTest::addColumn<QByteArray>("brokenTemplate"); // "-": none; other text replaces it
        QTest::addColumn<QString>("message");           // empty: ready
        QTest::newRow("pdf folder") << "pdf:labels" << QByteArray() << QString();
        QTest::newRow("template missing") << "pdf:labels" << QByteArray("-") << "cannot be read";
        QTest::newRow("template broken")
            << "pdf:labels" << QByteArray(R"({ "width": 50, "height": 25, "fields": [)")
            << "LabBarcodeLabel.rpt\" is wrong";
        QTest::newRow("folder under a file")
            << "pdf:blocker/labels" << QByteArray()
            << QStringLiteral("%1\" cannot be created.")
                   .arg(QDir::toNativeSeparators(QStringLiteral("blocker/labels")));
        QTest::newRow("unknown printer")
            << "No Such Printer" << QByteArray()
            << "The label printer \"No Such Printer\" is not installed.";
    }
    void checkReady() {
        QFETCH(QString, printer);
        QFETCH(QByteArray, brokenTemplate);
        QFETCH(QString, message);
        QTemporaryDir dir;
        labeltest::writeFile(dir.filePath(QStringLiteral("blocker")), "a file, not a folder");
        LabelPrinting printing;
        printing.setTemplatePath(writeShippedTemplate(dir, printer));
        if (brokenTemplate == "-")
            QVERIFY(QFile::remove(printing.templatePath()));
        else if (!brokenTemplate.isEmpty())
            labeltest::writeFile(printing.templatePath(), brokenTemplate);
        const QStringList before = allFiles(dir.path());
        if (message.isEmpty())
            printing.checkReady();
        else
            expectFailure([&] { printing.checkReady(); }, message);
        QCOMPARE(allFiles(dir.path()), before);
    }

    // A label cut short by a full disk is a failure, and leaves no file a reader takes for a label.
    void aFullDiskWritesNoLabel_data() {
        QTest::addColumn<QString>("printer");
        QTest::newRow("pdf") << "pdf:labels";
        QTest::newRow("zpl") << "zpl:file:labels";
    }
    void aFullDiskWritesNoLabel() {
        QFETCH(QString, printer);
        QTemporaryDir dir;
        LabelPrinting printing;
        printing.setTemplatePath(writeShippedTemplate(dir, printer));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("labels")));
        {
            const FullDisk full;
            expectFailure(
                [&] {
                    printing.printBarcodeLabel(seven[0], seven[1], seven[2], seven[3], seven[4],
                                               seven[5], seven[6], 1);
                },
                QStringLiteral("cannot be written"));
        }
        QCOMPARE(allFiles(dir.filePath(QStringLiteral("labels"))), QStringList());
    }

    // PDF folders never lose a label to a name clash.
    void pdfNamesAreUnique() {
        QTemporaryDir dir;
        LabelPrinting printing;
        printing.setTemplatePath(writeShippedTemplate(dir));
        QSet<QString> names;
        for (int i = 0; i < 12; ++i) {
            printing.prepareReport(printing.templatePath(), seven);
            Report* report = printing.activeReport();
            report->setEnableParameterPrompting(false);
            report->printOut(false);
            names.insert(report->lastOutputFile());
        }
        QCOMPARE(names.size(), 12);
        QCOMPARE(labeltest::pdfFiles(dir.filePath(QStringLiteral("labels"))).size(), 12);
        // Each is a whole PDF, and nothing but labels is left in the folder.
        QCOMPARE(allFiles(dir.filePath(QStringLiteral("labels"))).size(), 12);
        for (const QString& name : names) {
            QFile pdf(name);
            QVERIFY(pdf.open(QIODevice::ReadOnly));
            QVERIFY(pdf.readAll().trimmed().endsWith("%%EOF"));
        }
    }

    void viewerPath() {
        QTemporaryDir dir;
        LabelPrinting printing;
        printing.prepareReport(writeShippedTemplate(dir), seven);
        expectFailure([&] { printing.presentReport(true, QStringLiteral("View"), false); },
                      QStringLiteral("The report viewer is not available."));

        QString shownCaption;
        bool shownTree = false;
        printing.setViewer([&](LabelPrinting& p, bool tree, const QString& caption, bool) {
            QVERIFY(p.activeReport());
            shownCaption = caption;
            shownTree = tree;
            p.releaseActiveReport();
        });
        printing.presentReport(true, QStringLiteral("View Report"), false);
        QCOMPARE(shownCaption, QStringLiteral("View Report"));
        QVERIFY(shownTree);
        QVERIFY(!printing.activeReport());
        QVERIFY(labeltest::pdfFiles(dir.filePath(QStringLiteral("labels"))).isEmpty());
    }
};

QTEST_MAIN(TestLabelPrinting)
#include "tst_labelprinting.moc"
