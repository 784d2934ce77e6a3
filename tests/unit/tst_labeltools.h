#pragma once

// Helpers of the label tests: write templates, read printed PDFs back (pdftotext) and scan their
// barcodes (pdftoppm at 300 dpi, then zbarimg).

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

namespace labeltest {

inline QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        qWarning("%s did not finish", qPrintable(program));
    return QString::fromUtf8(process.readAllStandardOutput());
}

inline bool toolsInstalled() {
    for (const char* tool : {"pdftotext", "pdftoppm", "zbarimg"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return false;
    }
    return true;
}

// The text of a PDF file, blanks and line ends squeezed to single blanks.
inline QString pdfText(const QString& pdf) {
    return run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}).simplified();
}

// Every barcode found on the PDF's pages, rasterised at 300 dpi.
inline QStringList scanPdf(const QString& pdf) {
    QTemporaryDir images;
    run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QStringLiteral("300"), QStringLiteral("-png"), pdf,
         images.filePath(QStringLiteral("page"))});
    QStringList found;
    for (const QFileInfo& png : QDir(images.path()).entryInfoList({QStringLiteral("*.png")})) {
        const QString out = run(QStringLiteral("zbarimg"),
                                {QStringLiteral("-q"), QStringLiteral("--raw"), png.filePath()});
        for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            found.append(line);
    }
    return found;
}

inline QStringList pdfFiles(const QString& folder) {
    QStringList files;
    for (const QFileInfo& f :
         QDir(folder).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name))
        files.append(f.filePath());
    return files;
}

inline void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

} // namespace labeltest
