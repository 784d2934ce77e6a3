#include "TestData.h"

#include "queue/RequestListModel.h"
#include "station/RequestGrid.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>

namespace TestData {

LabItem item(const QString& exam, const QString& barcode, const QString& instrument) {
    LabItem result;
    result.exam = exam;
    result.instrument = instrument;
    result.barcode = barcode;
    result.itemId = exam;
    result.sectionId = QStringLiteral("S1");
    result.specimenId = QStringLiteral("1");
    return result;
}

LabItem itemWithoutExamRow(const QString& exam, const QString& barcode) {
    LabItem result = item(exam, barcode);
    result.instrument = QString();
    return result;
}

LabRequest request(const QString& refNum, int minutesAgo, const QList<LabItem>& items) {
    LabRequest r;
    r.refNum = refNum;
    r.transDate = QDateTime::currentDateTime().addSecs(-60 * qint64(minutesAgo));
    r.idNum = QStringLiteral("ID-") + refNum.trimmed();
    r.patient = {QStringLiteral("HN-") + refNum.trimmed(),
                 QStringLiteral("DELA CRUZ"),
                 QStringLiteral("JUAN"),
                 QStringLiteral("SANTOS"),
                 QStringLiteral("R-201"),
                 QStringLiteral("45"),
                 QStringLiteral("M")};
    r.items = items;
    return r;
}

QStringList loggedNumbers(const QString& logFolder) {
    QStringList numbers;
    const QDir dir(logFolder);
    for (const QString& name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const qsizetype marker = line.indexOf("---");
            if (marker >= 0)
                numbers.append(QString::fromLocal8Bit(line.mid(marker + 3).trimmed()));
        }
    }
    return numbers;
}

QStringList recordedBarcodes(const LabDbBuilder& lab) {
    QStringList barcodes;
    for (const MasterRecord& record : lab.masterRecords())
        barcodes.append(record.barcode);
    return barcodes;
}

int pdfCount(const QString& folder) {
    return int(QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files).size());
}

QStringList labelFiles(const QString& folder) {
    QStringList files = QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files);
    // "label-<time>.pdf", then "label-<time>-2.pdf" for a second file of the same millisecond.
    static const QRegularExpression name(QStringLiteral("^(.*?)(?:-(\\d+))?\\.pdf$"));
    const auto key = [](const QString& file) {
        const QRegularExpressionMatch m = name.match(file);
        return std::pair(m.captured(1), m.captured(2).isEmpty() ? 1 : m.captured(2).toInt());
    };
    std::sort(files.begin(), files.end(),
              [&key](const QString& a, const QString& b) { return key(a) < key(b); });
    for (QString& file : files)
        file = QDir(folder).filePath(file);
    return files;
}

QStringList scannedBarcodes(const QString& folder) {
    QStringList barcodes;
    QTemporaryDir images;
    for (const QString& pdf : labelFiles(folder)) {
        const QString png = images.filePath(QStringLiteral("label"));
        QProcess::execute(QStringLiteral("pdftoppm"),
                          {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("300"),
                           QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf, png});
        QProcess zbar;
        zbar.start(QStringLiteral("zbarimg"),
                   {QStringLiteral("-q"), QStringLiteral("--raw"), png + QStringLiteral(".png")});
        zbar.waitForFinished(30000);
        const QString read = QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
        barcodes.append(read.isEmpty() ? QStringLiteral("?") : read);
    }
    return barcodes;
}

QStringList gridNumbers(const RequestGrid& grid) {
    QStringList numbers;
    for (int row = 1; row < grid.rows(); ++row)
        numbers.append(grid.cellText(row, 1));
    return numbers;
}

bool rowIsMarked(const RequestGrid& grid, int row) {
    if (grid.cellText(row, RequestListModel::Printed) != QLatin1String("Printed"))
        return false;
    for (int column = 0; column < RequestListModel::ColumnCount; ++column) {
        if (grid.cellBackColour(row, column) != RequestListModel::printedColour())
            return false;
    }
    return true;
}

} // namespace TestData
