#include "app/DateTimeText.h"

namespace DateTimeText {

namespace {
const QString stationForm = QStringLiteral("yyyy-MM-dd HH:mm:ss");
}

QString format(const QDateTime& value) {
    return value.isValid() ? value.toString(stationForm) : QString();
}

QDateTime parse(const QString& text) {
    const QString t = text.trimmed();
    QDateTime value = QDateTime::fromString(t, stationForm);
    if (!value.isValid())
        value = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (!value.isValid())
        value = QDateTime::fromString(t, Qt::ISODate);
    if (!value.isValid()) {
        const QDate day = QDate::fromString(t, QStringLiteral("yyyy-MM-dd"));
        if (day.isValid())
            value = QDateTime(day, QTime(0, 0));
    }
    return value;
}

QString now() {
    return format(QDateTime::currentDateTime());
}

} // namespace DateTimeText
