#include "StationTestSupport.h"
#include "TestData.h"
#include "labdb/LabDbBuilder.h"
#include "labels/LabelPrinting.h"
#include "labels/PrintCommand.h"
#include "lookup/LookupInput.h"
#include "queue/PrintLog.h"
#include "station/CheckList.h"
#include "station/RequestGrid.h"
#include "station/Station.h"
#include "station/StationFrame.h"
#include "station/StationWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

namespace {

LabItem item(const QString& exam, const QString& instrument, const QString& barcode) {
    return TestData::item(exam, barcode, instrument);
}

const QDateTime transDate = QDateTime(QDate(2026, 12, 7), QTime(23, 50, 0));

// The label files of the folder in the order they were written.
QStringList labelFiles(const QString& folder) {
    QStringList files = QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files);
    static const QRegularExpression name(QStringLiteral("^(.*?)(?:-(\\d+))?\\.pdf$"));
    std::sort(files.begin(), files.end(), [](const QString& a, const QString& b) {
        const auto ma = name.match(a);
        const auto mb = name.match(b);
        const int na = ma.captured(2).isEmpty() ? 1 : ma.captured(2).toInt();
        const int nb = mb.captured(2).isEmpty() ? 1 : mb.captured(2).toInt();
        return std::pair(ma.captured(1), na) < std::pair(mb.captured(1), nb);
    });
    for (QString& f : files)
        f = QDir(folder).filePath(f);
    return files;
}

// The barcode each label file carries, among the known ones.
QStringList printedBarcodes(const QString& folder, const QStringList& known) {
    QStringList found;
    for (const QString& file : labelFiles(folder)) {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {file, QStringLiteral("-")});
        p.waitForFinished(30000);
        const QString text = QString::fromUtf8(p.readAllStandardOutput());
        QString which = QStringLiteral("?");
        for (const QString& b : known) {
            if (text.contains(b))
                which = b;
        }
        found.append(which);
    }
    return found;
}

} // namespace

class PrintCommandTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void threeEntriesTwoCopiesEntryByEntry();
    void nothingTicked();
    void zeroCopiesStillRecordsAndLogs();
    void entriesOneAndThree();
    void blankBarcodeIsReportedOnce();
    void copiesChangedDuringAYieldApplyFromTheNextEntry();
    void badCopiesStopBeforePrinting_data();
    void badCopiesStopBeforePrinting();
    void printerFailureMidJob();
    void recordingFailureIsToldNotHidden();
    void secondPrintLookupOrResetInsideTheJobIsDropped();

private:
    const StationControls& c() { return m_fixture->station().window().controls(); }
    void lookUp(const QString& number) {
        c().txtNumber->setText(number);
        m_fixture->station().lookupInput().onNumberEnter();
        QCOMPARE(m_fixture->messages.shown.size(), 0);
    }
    QStringList printed() { return printedBarcodes(m_world->labelFolder(), m_barcodes); }
    QByteArray logBytes() {
        QFile f(m_world->printLogFolder() + QStringLiteral("/PrintedLabBarcodes 12 07 2026.txt"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList recordedBarcodes() {
        QStringList list;
        for (const MasterRecord& r : m_world->lab().masterRecords())
            list.append(r.barcode);
        return list;
    }

    std::unique_ptr<TestWorld> m_world;
    std::unique_ptr<StationFixture> m_fixture;
    QStringList m_requestNums;
    QStringList m_barcodes{QStringLiteral("B1001"), QStringLiteral("B1002"),
                           QStringLiteral("B1003"), QStringLiteral("B2001")};
};

void PrintCommandTest::init() {
    m_world = std::make_unique<TestWorld>();
    LabDbBuilder& lab = m_world->createLab();
    LabRequest r;
    r.refNum = QStringLiteral("T100C");
    r.transDate = transDate;
    r.idNum = QStringLiteral("ID100");
    r.patient = {QStringLiteral("HN100"), QStringLiteral("REYES"), QStringLiteral("ANA"), QString(),
                 QStringLiteral("R-3"),   QStringLiteral("61"),    QStringLiteral("F")};
    r.items = {item(QStringLiteral("CBC"), QStringLiteral("HEMA"), QStringLiteral("B1001")),
               item(QStringLiteral("FBS"), QStringLiteral("CHEM"), QStringLiteral("B1002")),
               item(QStringLiteral("UA"), QStringLiteral("URINE"), QStringLiteral("B1003"))};
    m_requestNums = lab.addRequest(r);
    r.refNum = QStringLiteral("200");
    r.items = {item(QStringLiteral("ESR"), QStringLiteral("HEMA"), QString()),
               item(QStringLiteral("CBC"), QStringLiteral("HEMA"), QStringLiteral("B2001"))};
    r.items[0].barcode = QStringLiteral("");
    lab.addRequest(r);

    m_fixture = std::make_unique<StationFixture>(*m_world);
    m_fixture->station().labelPrinting().setTemplatePath(m_world->writePdfTemplate());
    QVERIFY(m_fixture->station().show());
    c().vkchkAutoPrintRequests->setChecked(true);
}

void PrintCommandTest::cleanup() {
    m_fixture.reset();
    m_world.reset();
}

void PrintCommandTest::threeEntriesTwoCopiesEntryByEntry() {
    c().Grid1->appendTabRow(QStringLiteral("2026-12-07 23:50:00\tT100C\tREYES, ANA"));
    lookUp(QStringLiteral("T100C"));
    c().txtCopies->setText(QStringLiteral("2"));
    c().cmdGenerate->click();

    QCOMPARE(printed(), (QStringList{QStringLiteral("B1001"), QStringLiteral("B1001"),
                                     QStringLiteral("B1002"), QStringLiteral("B1002"),
                                     QStringLiteral("B1003"), QStringLiteral("B1003")}));
    QCOMPARE(recordedBarcodes(), (QStringList{QStringLiteral("B1001"), QStringLiteral("B1002"),
                                              QStringLiteral("B1003")}));
    QCOMPARE(m_world->lab().dateRecords().size(), 3);
    // One log line per printed entry, under the looked-up number, in the day of the request.
    static const QRegularExpression line(QStringLiteral(
        "2026-12-07 23:50:00 \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ---T100C\\r\\n"));
    QCOMPARE(QString::fromLatin1(logBytes()).count(line), 3);
    QCOMPARE(logBytes().count('\n'), 3);
    QCOMPARE(c().Grid1->cellText(1, 7), QStringLiteral("Printed"));
    // Back to searching, Print off, timers on as the box says.
    QVERIFY(!c().cmdGenerate->isEnabled());
    QVERIFY(c().fraSearch->isEnabled());
    QVERIFY(!c().fraExams->isEnabled());
    QCOMPARE(c().lstExams->entryCount(), 0);
    QCOMPARE(c().txtCopies->text(), QStringLiteral("1"));
    QVERIFY(c().tmrCheckRequests->isActive());
    QVERIFY(c().tmrAutoPrint->isActive());
    QVERIFY(m_fixture->messages.shown.isEmpty());
    // Recording emptied the barcodes it recorded.
    QCOMPARE(m_fixture->station().currentRequest().Barcodes, QStringList(3));
}

void PrintCommandTest::nothingTicked() {
    lookUp(QStringLiteral("T100C"));
    c().lstExams->untickAll();
    c().vkchkAutoPrintRequests->setChecked(false);
    c().cmdGenerate->click();
    QVERIFY(printed().isEmpty());
    QVERIFY(recordedBarcodes().isEmpty());
    QVERIFY(logBytes().isEmpty());
    QVERIFY(!c().cmdGenerate->isEnabled());
    QVERIFY(c().fraSearch->isEnabled());
    QVERIFY(c().tmrCheckRequests->isActive());
    QVERIFY(!c().tmrAutoPrint->isActive());
}

void PrintCommandTest::zeroCopiesStillRecordsAndLogs() {
    lookUp(QStringLiteral("T100C"));
    c().txtCopies->setText(QStringLiteral("0"));
    c().cmdGenerate->click();
    QVERIFY(printed().isEmpty());
    QCOMPARE(recordedBarcodes().size(), 3);
    QCOMPARE(logBytes().count('\n'), 3);
}

void PrintCommandTest::entriesOneAndThree() {
    lookUp(QStringLiteral("T100C"));
    c().lstExams->setTicked(2, false);
    c().cmdGenerate->click();
    QCOMPARE(printed(), (QStringList{QStringLiteral("B1001"), QStringLiteral("B1003")}));
    QCOMPARE(recordedBarcodes(), (QStringList{QStringLiteral("B1001"), QStringLiteral("B1003")}));
}

void PrintCommandTest::blankBarcodeIsReportedOnce() {
    lookUp(QStringLiteral("200"));
    QCOMPARE(c().lstExams->entryCount(), 2);
    c().cmdGenerate->click();
    QCOMPARE(m_fixture->messages.texts(), QStringList{QStringLiteral("Refnum is blank.")});
    QCOMPARE(m_fixture->messages.shown.first().icon, Messages::Icon::None);
    QCOMPARE(printed(), QStringList{QStringLiteral("B2001")});
    QCOMPARE(recordedBarcodes(), QStringList{QStringLiteral("B2001")});
    QCOMPARE(logBytes().count('\n'), 1);
}

void PrintCommandTest::copiesChangedDuringAYieldApplyFromTheNextEntry() {
    lookUp(QStringLiteral("T100C"));
    // The first yield comes before entry 1 reads its copies; the next one after it has printed.
    QTimer::singleShot(0, this, [this] {
        QTimer::singleShot(0, this, [this] { c().txtCopies->setText(QStringLiteral("2")); });
    });
    c().cmdGenerate->click();
    QCOMPARE(printed(),
             (QStringList{QStringLiteral("B1001"), QStringLiteral("B1002"), QStringLiteral("B1002"),
                          QStringLiteral("B1003"), QStringLiteral("B1003")}));
}

void PrintCommandTest::badCopiesStopBeforePrinting_data() {
    QTest::addColumn<QString>("copies");
    QTest::newRow("empty") << "";
    QTest::newRow("not a number") << "two";
    QTest::newRow("too many") << "40000";
}

void PrintCommandTest::badCopiesStopBeforePrinting() {
    QFETCH(QString, copies);
    lookUp(QStringLiteral("T100C"));
    c().txtCopies->setText(copies);
    c().cmdGenerate->click();
    QCOMPARE(m_fixture->messages.shown.size(), 1);
    QVERIFY(m_fixture->messages.shown.first().text.contains(QStringLiteral("number of copies")));
    QCOMPARE(m_fixture->messages.shown.first().icon, Messages::Icon::Warning);
    QVERIFY(printed().isEmpty());
    QVERIFY(recordedBarcodes().isEmpty());
    // The request stays loaded; the timers run again; mending the copies prints it all.
    QVERIFY(c().tmrCheckRequests->isActive());
    QVERIFY(c().fraExams->isEnabled());
    QVERIFY(c().cmdGenerate->isEnabled());
    c().txtCopies->setText(QStringLiteral("1"));
    c().cmdGenerate->click();
    QCOMPARE(printed().size(), 3);
}

void PrintCommandTest::printerFailureMidJob() {
    lookUp(QStringLiteral("T100C"));
    const QString templatePath = m_fixture->station().labelPrinting().templatePath();
    // After entry 1 has printed (during its recording), the template breaks.
    QTimer::singleShot(0, this, [this, templatePath] {
        QTimer::singleShot(0, this, [templatePath] {
            QFile broken(templatePath);
            if (broken.open(QIODevice::WriteOnly | QIODevice::Truncate))
                broken.write("{ not a template");
        });
    });
    c().cmdGenerate->click();
    QCOMPARE(printed(), QStringList{QStringLiteral("B1001")});
    QCOMPARE(recordedBarcodes(), QStringList{QStringLiteral("B1001")});
    QCOMPARE(logBytes().count('\n'), 1);
    QCOMPARE(m_fixture->messages.shown.size(), 1);
    const QString text = m_fixture->messages.shown.first().text;
    QVERIFY2(text.contains(QStringLiteral("B1002")) && text.contains(QStringLiteral("B1001")),
             qPrintable(text));
    QVERIFY(c().tmrCheckRequests->isActive());
    QVERIFY(c().tmrAutoPrint->isActive());
    // What is done is unticked; the rest waits for the next Print.
    QVERIFY(!c().lstExams->isTicked(1));
    QVERIFY(c().lstExams->isTicked(2));
    QVERIFY(c().lstExams->isTicked(3));
    QVERIFY(c().cmdGenerate->isEnabled());
}

void PrintCommandTest::recordingFailureIsToldNotHidden() {
    lookUp(QStringLiteral("T100C"));
    m_world->lab().refuseDateRecordsFor(m_requestNums.at(1));
    c().cmdGenerate->click();
    // Printed and logged all the same; the entry whose recording failed is named.
    QCOMPARE(printed().size(), 3);
    QCOMPARE(logBytes().count('\n'), 3);
    QCOMPARE(recordedBarcodes(), (QStringList{QStringLiteral("B1001"), QStringLiteral("B1003")}));
    QCOMPARE(m_fixture->messages.shown.size(), 1);
    const QString text = m_fixture->messages.shown.first().text;
    QVERIFY2(text.contains(QStringLiteral("B1002")) && !text.contains(QStringLiteral("B1001")),
             qPrintable(text));
}

void PrintCommandTest::secondPrintLookupOrResetInsideTheJobIsDropped() {
    lookUp(QStringLiteral("T100C"));
    QTimer::singleShot(0, this, [this] {
        c().cmdGenerate->click();
        c().txtNumber->setText(QStringLiteral("200"));
        m_fixture->station().lookupInput().onNumberEnter();
        m_fixture->station().lookupInput().onResetClick();
    });
    c().cmdGenerate->click();
    QCOMPARE(printed().size(), 3);
    QCOMPARE(recordedBarcodes().size(), 3);
    QVERIFY(m_fixture->messages.shown.isEmpty());
}

QTEST_MAIN(PrintCommandTest)
#include "tst_printcommand.moc"
