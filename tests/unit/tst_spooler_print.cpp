// Prints through the system's default printer: the spooler fixture's cups-pdf queue "LabelPDF".
#include "labels/LabelPrinting.h"
#include "tst_labeltools.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QPrinterInfo>
#include <QTest>
#include <QThread>

class TestSpoolerPrint : public QObject {
    Q_OBJECT

private:
    static QString outputFolder() {
        return labeltest::run(QStringLiteral("bash"),
                              {QStringLiteral(QUILLON_SOURCE_DIR "/scripts/cups.sh"),
                               QStringLiteral("outdir")})
            .trimmed();
    }

    // The newest PDF written into the folder after the given time, waiting up to 15 s.
    static QString awaitPdf(const QString& folder, const QDateTime& after) {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 15000) {
            QFileInfoList files =
                QDir(folder).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Time);
            if (!files.isEmpty() && files.first().lastModified() >= after &&
                files.first().size() > 0) {
                QThread::msleep(300); // let cups-pdf finish the file
                return files.first().filePath();
            }
            QThread::msleep(100);
        }
        return QString();
    }

private Q_SLOTS:
    void shippedTemplateToDefaultPrinter() {
        QCOMPARE(QPrinterInfo::defaultPrinterName(), QStringLiteral("LabelPDF"));
        const QString folder = outputFolder();
        QVERIFY(!folder.isEmpty());
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);

        LabelPrinting printing; // the template beside the executable names no printer
        printing.printBarcodeLabel(QStringLiteral("2401150042"), QStringLiteral("SANTOS, ANA"),
                                   QStringLiteral("778899"), QStringLiteral("HEMA"),
                                   QStringLiteral("2024-01-15 10:30:45"), QStringLiteral("ER"),
                                   QStringLiteral("/"), 1);
        QVERIFY(!printing.activeReport());

        const QString pdf = awaitPdf(folder, before);
        QVERIFY2(!pdf.isEmpty(), qPrintable(QStringLiteral("no PDF appeared in ") + folder));
        QCOMPARE(labeltest::scanPdf(pdf), QStringList{QStringLiteral("2401150042")});
        QFile::remove(pdf);
    }
};

QTEST_MAIN(TestSpoolerPrint)
#include "tst_spooler_print.moc"
