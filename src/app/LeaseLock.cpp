#include "app/LeaseLock.h"

#include <QRegularExpression>

QString LeaseLock::fileNamePart(const QString& name) {
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9_.-]"));
    return QString(name).replace(unsafe, QStringLiteral("_"));
}
