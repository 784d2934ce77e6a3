#include "ZplCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString folder() {
    return QStringLiteral(QUILLON_SOURCE_DIR "/tests/zpl");
}

// zbarimg ends with status 4 when it finds no barcode: only a renderer's status counts.
QString output(const QString& program, const QStringList& arguments, bool statusCounts = true) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        (statusCounts && process.exitCode() != 0))
        qWarning("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

QString ZplCheck::missing() {
    if (QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty())
        return QStringLiteral("node is not installed");
    if (!QFileInfo::exists(folder() + QStringLiteral("/node_modules/zpl-renderer-js")))
        return QStringLiteral("the ZPL renderer is not installed (scripts/setup.sh)");
    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty())
        return QStringLiteral("zbarimg is not installed");
    return QString();
}

QList<QStringList> ZplCheck::scan(const QList<QByteArray>& jobs, QSizeF labelMm, int dpi) {
    QTemporaryDir dir;
    QStringList arguments{folder() + QStringLiteral("/render.js"), QString::number(labelMm.width()),
                          QString::number(labelMm.height()),
                          QString::number(dpi == 203 ? 8 : dpi / 25), dir.path()};
    for (int j = 0; j < jobs.size(); ++j) {
        const QString path = dir.filePath(QStringLiteral("job%1.zpl").arg(j));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(jobs.at(j)) != jobs.at(j).size())
            qFatal("cannot write a ZPL job to render");
        arguments.append(path);
    }
    const QStringList counts =
        output(QStringLiteral("node"), arguments).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QList<QStringList> found;
    for (int j = 0; j < jobs.size(); ++j) {
        QStringList barcodes;
        for (int k = 0; k < counts.value(j).toInt(); ++k) {
            const QString read = output(QStringLiteral("zbarimg"),
                                        {QStringLiteral("-q"), QStringLiteral("--raw"),
                                         dir.filePath(QStringLiteral("%1-%2.png").arg(j).arg(k))},
                                        false);
            barcodes.append(read.split(QLatin1Char('\n'), Qt::SkipEmptyParts));
        }
        found.append(barcodes);
    }
    return found;
}
