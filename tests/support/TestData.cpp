#include "TestData.h"

#include "queue/PrintedMarks.h"
#include "station/RequestGrid.h"

#include <QDir>
#include <QFile>

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

int pdfCount(const QString& folder) {
    return int(QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files).size());
}

QStringList gridNumbers(const RequestGrid& grid) {
    QStringList numbers;
    for (int row = 1; row < grid.rows(); ++row)
        numbers.append(grid.cellText(row, 1));
    return numbers;
}

bool rowIsMarked(const RequestGrid& grid, int row) {
    if (grid.cellText(row, PrintedMarks::printedColumn) != QLatin1String("Printed"))
        return false;
    for (int column = 0; column < grid.columnCount(); ++column) {
        if (grid.cellBackColour(row, column) != PrintedMarks::printedColour())
            return false;
    }
    return true;
}

} // namespace TestData
