#include "station/TakeToken.h"

QString TakeToken(QString& source, const QString& delimiter) {
    const qsizetype position = delimiter.isEmpty() ? -1 : source.indexOf(delimiter);
    if (position < 0) {
        QString whole = source;
        source.clear();
        return whole;
    }
    QString token = source.left(position);
    source = source.mid(position + delimiter.size());
    return token;
}
