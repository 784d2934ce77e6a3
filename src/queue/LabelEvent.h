#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// One thing that happened to one label at one station: the unit of the lab's label history.
struct LabelEvent {
    // What happened. Printed: its copies came out; passed over: unticked when its request was
    // printed; cancelled: given up on at the printer (a printer fault); refused: its data cannot
    // be printed.
    enum class Kind { Printed, PassedOver, Cancelled, Refused };

    QString id;   // unique in the lab: the station's name and a random part
    QString time; // the station's date-time text form, local time
    QString station;
    QString account;
    QString printer;
    QString templateName;
    QString request;
    QString barcode;
    int occurrence = 0; // how many earlier labels of the request carry the same barcode
    Kind kind = Kind::Printed;
    int copies = 0;
    bool reprint = false; // the history held the label as printed before
    QString reason;       // why it was printed again, where one was asked
    QString confirmed;    // what the printer side confirmed, or why it failed

    static QString kindText(Kind kind);
    static std::optional<Kind> kindOf(const QString& text);
    // A new event's id: the station and 64 random bits.
    static QString newId(const QString& station);
    // The label the event is of, named as the print road names a request's labels.
    QString labelId() const { return barcode + QLatin1Char('\n') + QString::number(occurrence); }

    // The event as one line of a month file, line end included (see LabelHistory).
    QByteArray line() const;
    // The event a line holds (without its line end), or nothing when the line is not whole: a
    // wrong field count, a bad checksum or field.
    static std::optional<LabelEvent> fromLine(QByteArrayView line);

    // The CSV header and one record of `quillon --history` (RFC 4180, CR LF line ends).
    static QByteArray csvHeader();
    QByteArray csvRecord() const;

    // A reason is kept short and on one line: it is free text a person typed.
    static constexpr int maxReasonLength = 80;
    static QString cleanReason(const QString& reason);
};
