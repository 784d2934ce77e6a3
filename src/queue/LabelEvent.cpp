#include "queue/LabelEvent.h"

#include <QList>
#include <QRandomGenerator>

namespace {

const QByteArray lineTag = QByteArrayLiteral("H1");
constexpr int fieldCount = 16; // the tag, 14 fields, the checksum

// Tabs and line ends inside a field would split it: they are written as \t, \n and \r.
QByteArray escaped(const QString& text) {
    QByteArray out;
    const QByteArray utf8 = text.toUtf8();
    out.reserve(utf8.size());
    for (const char c : utf8) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

QString unescaped(QByteArrayView field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c != '\\' || i + 1 == field.size()) {
            out += c;
            continue;
        }
        const char next = field[++i];
        out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return QString::fromUtf8(out);
}

QByteArray checksum(QByteArrayView text) {
    return QByteArray::number(qChecksum(text), 16).rightJustified(4, '0');
}

QByteArray csvField(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\r') && !utf8.contains('\n'))
        return utf8;
    utf8.replace("\"", "\"\"");
    return '"' + utf8 + '"';
}

// "yyyy-MM-dd HH:mm:ss": checked by its shape, as a parse per line would slow a year's reading.
bool timeForm(const QString& text) {
    static const QString shape = QStringLiteral("0000-00-00 00:00:00");
    if (text.size() != shape.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if ((shape.at(i) == QLatin1Char('0')) != text.at(i).isDigit())
            return false;
    }
    return true;
}

} // namespace

QString LabelEvent::kindText(Kind kind) {
    switch (kind) {
    case Kind::Printed:
        return QStringLiteral("printed");
    case Kind::PassedOver:
        return QStringLiteral("passed over");
    case Kind::Cancelled:
        return QStringLiteral("cancelled");
    case Kind::Refused:
        return QStringLiteral("refused");
    }
    return {};
}

std::optional<LabelEvent::Kind> LabelEvent::kindOf(const QString& text) {
    for (const Kind kind : {Kind::Printed, Kind::PassedOver, Kind::Cancelled, Kind::Refused}) {
        if (kindText(kind) == text)
            return kind;
    }
    return std::nullopt;
}

QString LabelEvent::newId(const QString& station) {
    return station + QLatin1Char('-') +
           QString::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0');
}

QString LabelEvent::cleanReason(const QString& reason) {
    return reason.simplified().left(maxReasonLength);
}

QByteArray LabelEvent::line() const {
    const QList<QByteArray> fields{lineTag,
                                   escaped(id),
                                   escaped(time),
                                   escaped(station),
                                   escaped(account),
                                   escaped(printer),
                                   escaped(templateName),
                                   escaped(request),
                                   escaped(barcode),
                                   QByteArray::number(occurrence),
                                   escaped(kindText(kind)),
                                   QByteArray::number(copies),
                                   reprint ? QByteArrayLiteral("1") : QByteArrayLiteral("0"),
                                   escaped(reason),
                                   escaped(confirmed)};
    QByteArray text = fields.join('\t');
    return text + '\t' + checksum(text) + '\n';
}

std::optional<LabelEvent> LabelEvent::fromLine(QByteArrayView view) {
    const QByteArray line = view.toByteArray();
    const qsizetype cut = line.lastIndexOf('\t');
    if (cut < 0 || line.mid(cut + 1) != checksum(QByteArrayView(line).first(cut)))
        return std::nullopt;
    const QList<QByteArray> fields = line.split('\t');
    if (fields.size() != fieldCount || fields.at(0) != lineTag)
        return std::nullopt;
    LabelEvent event;
    bool ok = true;
    const auto number = [&ok](QByteArrayView field) {
        bool good = false;
        const int value = field.toInt(&good);
        ok = ok && good;
        return value;
    };
    event.id = unescaped(fields.at(1));
    event.time = unescaped(fields.at(2));
    event.station = unescaped(fields.at(3));
    event.account = unescaped(fields.at(4));
    event.printer = unescaped(fields.at(5));
    event.templateName = unescaped(fields.at(6));
    event.request = unescaped(fields.at(7));
    event.barcode = unescaped(fields.at(8));
    event.occurrence = number(fields.at(9));
    const std::optional<Kind> kind = kindOf(unescaped(fields.at(10)));
    event.copies = number(fields.at(11));
    event.reprint = fields.at(12) == "1";
    event.reason = unescaped(fields.at(13));
    event.confirmed = unescaped(fields.at(14));
    if (!ok || !kind || !timeForm(event.time) || event.id.isEmpty())
        return std::nullopt;
    event.kind = *kind;
    return event;
}

QByteArray LabelEvent::csvHeader() {
    return QByteArrayLiteral("time,station,account,printer,template,request,barcode,event,copies,"
                             "reprint,reason,confirmed\r\n");
}

QByteArray LabelEvent::csvRecord() const {
    const QList<QByteArray> fields{csvField(time),
                                   csvField(station),
                                   csvField(account),
                                   csvField(printer),
                                   csvField(templateName),
                                   csvField(request),
                                   csvField(barcode),
                                   csvField(kindText(kind)),
                                   QByteArray::number(copies),
                                   reprint ? QByteArrayLiteral("yes") : QByteArrayLiteral("no"),
                                   csvField(reason),
                                   csvField(confirmed)};
    return fields.join(',') + "\r\n";
}
