#include "labels/LabelTemplate.h"

#include "app/Failure.h"
#include "app/FilePlaces.h"
#include "labels/BarcodeSymbol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <cmath>

namespace {

const QString defaultFamily = QStringLiteral("Arial");
constexpr double tolerance = 0.001; // mm, for boxes that end exactly on the label's edge

using Faults = std::vector<LabelTemplateFault>;

QString wrongMessage(const QString& fileName, const LabelTemplateFault& fault) {
    return QStringLiteral("The label template \"%1\" is wrong: %2%3.")
        .arg(fileName, fault.place.isEmpty() ? QString() : fault.place + QStringLiteral(": "),
             fault.what);
}

// Thrown past a fault that has been collected, to the end of the step that found it.
struct Collected {};

// Reads one JSON object of the template, naming the file and the item in every complaint. With
// faults given, a complaint is collected and ends only the current step(), so that reading goes
// on to the next setting; without, the first complaint throws Failure.
class Reader {
public:
    Reader(QString fileName, QString context, QJsonObject object, Faults* faults)
        : m_fileName(std::move(fileName))
        , m_context(std::move(context))
        , m_object(std::move(object))
        , m_faults(faults) {}

    [[noreturn]] void fail(const QString& what) const {
        LabelTemplateFault fault{m_context, what};
        if (!m_faults)
            throw Failure(wrongMessage(m_fileName, fault));
        m_faults->push_back(std::move(fault));
        throw Collected();
    }

    // Runs one step of reading; false when it found a fault.
    template <typename Step> bool step(Step&& reading) const {
        if (!m_faults) {
            reading();
            return true;
        }
        try {
            reading();
            return true;
        } catch (const Collected&) {
            return false;
        }
    }

    void allowOnly(std::initializer_list<QLatin1String> keys) const {
        for (const QString& key : m_object.keys()) {
            if (key == QLatin1String("comment"))
                continue;
            step([&] {
                if (std::find(keys.begin(), keys.end(), key) == keys.end())
                    fail(QStringLiteral("unknown setting \"%1\"").arg(key));
            });
        }
    }

    bool has(QLatin1String key) const { return m_object.contains(key); }
    QJsonValue value(QLatin1String key) const { return m_object.value(key); }

    double number(QLatin1String key, std::optional<double> fallback, double minimum,
                  bool aboveMinimum) const {
        const QJsonValue v = m_object.value(key);
        if (v.isUndefined()) {
            if (!fallback)
                fail(QStringLiteral("\"%1\" is missing").arg(key));
            return *fallback;
        }
        const double n = v.toDouble(-1e300);
        if (!v.isDouble() || n < minimum || (aboveMinimum && n <= minimum))
            fail(QStringLiteral("\"%1\" must be a number %2 %3")
                     .arg(key,
                          aboveMinimum ? QStringLiteral("above") : QStringLiteral("of at least"),
                          QString::number(minimum)));
        return n;
    }

    QString text(QLatin1String key, const QString& fallback) const {
        const QJsonValue v = m_object.value(key);
        if (v.isUndefined())
            return fallback;
        if (!v.isString())
            fail(QStringLiteral("\"%1\" must be a text in double quotes").arg(key));
        return v.toString();
    }

    bool flag(QLatin1String key, bool fallback) const {
        const QJsonValue v = m_object.value(key);
        if (v.isUndefined())
            return fallback;
        if (!v.isBool())
            fail(QStringLiteral("\"%1\" must be true or false").arg(key));
        return v.toBool();
    }

    LabelAlign align(LabelAlign fallback) const {
        const QString a = text(QLatin1String("align"), QString());
        if (a.isEmpty() && !has(QLatin1String("align")))
            return fallback;
        if (a == QLatin1String("left"))
            return LabelAlign::Left;
        if (a == QLatin1String("center") || a == QLatin1String("centre"))
            return LabelAlign::Center;
        if (a == QLatin1String("right"))
            return LabelAlign::Right;
        fail(QStringLiteral("\"align\" must be \"left\", \"center\" or \"right\", not \"%1\"")
                 .arg(a));
    }

    LabelFont font(const QString& family, double size) const {
        LabelFont f;
        step([&] {
            f.family = text(QLatin1String("font"), family);
            if (f.family.trimmed().isEmpty())
                fail(QStringLiteral("\"font\" must name a font family"));
        });
        step([&] { f.size = number(QLatin1String("size"), size, 0, true); });
        step([&] { f.bold = flag(QLatin1String("bold"), false); });
        return f;
    }

    // label is invalid when the template's own size is at fault: nothing can reach beyond it.
    QRectF box(QSizeF label) const {
        double x = 0, y = 0, width = 0, height = 0;
        bool known = step([&] { x = number(QLatin1String("x"), std::nullopt, 0, false); });
        known &= step([&] { y = number(QLatin1String("y"), std::nullopt, 0, false); });
        known &= step([&] { width = number(QLatin1String("width"), std::nullopt, 0, true); });
        known &= step([&] { height = number(QLatin1String("height"), std::nullopt, 0, true); });
        const QRectF r(x, y, width, height);
        if (known && label.isValid() &&
            (r.right() > label.width() + tolerance || r.bottom() > label.height() + tolerance))
            fail(QStringLiteral("the box reaches beyond the %1 x %2 mm label")
                     .arg(label.width())
                     .arg(label.height()));
        return r;
    }

    // The item's content: fixed "text", a parameter "field" or the report "title". fields is
    // null when the template's list is at fault: no name can be checked against it.
    LabelContent content(const QStringList* fields, bool titleAllowed) const {
        const int sources = int(has(QLatin1String("text"))) + int(has(QLatin1String("field"))) +
                            int(titleAllowed && has(QLatin1String("title")));
        const QString choices = titleAllowed ? QStringLiteral("\"text\", \"field\" or \"title\"")
                                             : QStringLiteral("\"text\" or \"field\"");
        if (sources != 1)
            fail(QStringLiteral("give exactly one of %1").arg(choices));
        LabelContent c;
        if (has(QLatin1String("text"))) {
            c.source = LabelContent::Source::Fixed;
            c.text = text(QLatin1String("text"), QString());
        } else if (has(QLatin1String("field"))) {
            c.source = LabelContent::Source::Field;
            const QString name = text(QLatin1String("field"), QString());
            if (!fields)
                return c;
            c.field = static_cast<int>(fields->indexOf(name));
            if (c.field < 0)
                fail(
                    QStringLiteral("\"field\" names \"%1\", which is not among the \"fields\" (%2)")
                        .arg(name, fields->join(QStringLiteral(", "))));
        } else {
            if (!flag(QLatin1String("title"), false))
                fail(QStringLiteral("\"title\" can only be true"));
            c.source = LabelContent::Source::Title;
        }
        return c;
    }

private:
    QString m_fileName;
    QString m_context;
    QJsonObject m_object;
    Faults* m_faults;
};

// What the items are read against: the label's size (invalid when at fault) and its fields.
struct Frame {
    QSizeF size;
    const QStringList* fields; // null when the list is at fault
    QString family;
};

LabelText readText(const Reader& r, const Frame& t) {
    r.allowOnly({QLatin1String("type"), QLatin1String("x"), QLatin1String("y"),
                 QLatin1String("width"), QLatin1String("height"), QLatin1String("text"),
                 QLatin1String("field"), QLatin1String("title"), QLatin1String("prefix"),
                 QLatin1String("font"), QLatin1String("size"), QLatin1String("bold"),
                 QLatin1String("align")});
    LabelText item;
    r.step([&] { item.content = r.content(t.fields, true); });
    r.step([&] { item.prefix = r.text(QLatin1String("prefix"), QString()); });
    item.font = r.font(t.family, 7);
    r.step([&] { item.align = r.align(LabelAlign::Left); });
    r.step([&] { item.box = r.box(t.size); });
    return item;
}

LabelBarcode readBarcode(const Reader& r, const Frame& t) {
    r.allowOnly({QLatin1String("type"), QLatin1String("x"), QLatin1String("y"),
                 QLatin1String("width"), QLatin1String("height"), QLatin1String("text"),
                 QLatin1String("field"), QLatin1String("symbology"), QLatin1String("humanReadable"),
                 QLatin1String("quietZones"), QLatin1String("font"), QLatin1String("size"),
                 QLatin1String("bold"), QLatin1String("align")});
    LabelBarcode item;
    r.step([&] { item.content = r.content(t.fields, false); });
    r.step([&] {
        const QString name = r.text(QLatin1String("symbology"), QStringLiteral("CODE128"));
        item.symbology = BarcodeSymbol::symbologyByName(name);
        if (item.symbology == 0)
            r.fail(QStringLiteral(
                       "\"symbology\" \"%1\" is not a barcode kind the barcode library knows; use "
                       "a name such as \"CODE128\", \"CODE39\" or \"DATAMATRIX\"")
                       .arg(name));
        if (!BarcodeSymbol::isDrawable(item.symbology))
            r.fail(QStringLiteral("the symbology \"%1\" cannot be printed on labels").arg(name));
        item.symbologyName = BarcodeSymbol::symbologyName(item.symbology);
    });
    r.step([&] { item.humanReadable = r.flag(QLatin1String("humanReadable"), true); });
    r.step([&] { item.quietZones = r.flag(QLatin1String("quietZones"), true); });
    item.font = r.font(t.family, 6);
    r.step([&] { item.align = r.align(LabelAlign::Center); });
    r.step([&] { item.box = r.box(t.size); });
    return item;
}

LabelLine readLine(const Reader& r, const Frame& t) {
    r.allowOnly({QLatin1String("type"), QLatin1String("x1"), QLatin1String("y1"),
                 QLatin1String("x2"), QLatin1String("y2"), QLatin1String("thickness")});
    LabelLine line;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool known = r.step([&] { x1 = r.number(QLatin1String("x1"), std::nullopt, 0, false); });
    known &= r.step([&] { y1 = r.number(QLatin1String("y1"), std::nullopt, 0, false); });
    known &= r.step([&] { x2 = r.number(QLatin1String("x2"), std::nullopt, 0, false); });
    known &= r.step([&] { y2 = r.number(QLatin1String("y2"), std::nullopt, 0, false); });
    line.from = QPointF(x1, y1);
    line.to = QPointF(x2, y2);
    r.step([&] { line.thickness = r.number(QLatin1String("thickness"), 0.2, 0, true); });
    if (!known || !t.size.isValid())
        return line;
    for (const QPointF& p : {line.from, line.to}) {
        if (p.x() > t.size.width() + tolerance || p.y() > t.size.height() + tolerance)
            r.fail(QStringLiteral("the line reaches beyond the %1 x %2 mm label")
                       .arg(t.size.width())
                       .arg(t.size.height()));
    }
    return line;
}

// A "zpl:" printer is one of the three forms; anything else after "zpl:" is a typing fault that
// would otherwise go looking for a printer of that name.
void checkPrinter(const Reader& r, const QString& printer) {
    if (!printer.startsWith(QLatin1String("zpl:")))
        return;
    const QString rest = printer.mid(4);
    bool valid = false;
    if (rest.startsWith(QLatin1String("tcp://"))) {
        const QUrl url(rest);
        valid = url.isValid() && !url.host().isEmpty() && url.path().isEmpty() &&
                url.userInfo().isEmpty() && !url.hasQuery() && !url.hasFragment() &&
                (url.port() == -1 || url.port() > 0);
    } else if (rest.startsWith(QLatin1String("queue:"))) {
        valid = rest.size() > 6;
    } else if (rest.startsWith(QLatin1String("file:"))) {
        valid = rest.size() > 5;
    }
    if (!valid)
        r.fail(QStringLiteral("\"printer\" \"%1\" must be \"zpl:tcp://<host>[:<port>]\", "
                              "\"zpl:queue:<queue name>\" or \"zpl:file:<folder>\"")
                   .arg(printer));
}

void readPrinterSettings(const Reader& r, LabelTemplate& t) {
    const double dpi = r.number(QLatin1String("dpi"), 203, 0, true);
    if (dpi != 203 && dpi != 300 && dpi != 600)
        r.fail(QStringLiteral("\"dpi\" must be 203, 300 or 600"));
    t.dpi = int(dpi);
    const auto whole = [&r](QLatin1String key, int low, int high) -> std::optional<int> {
        if (!r.has(key))
            return std::nullopt;
        const double n = r.number(key, std::nullopt, low, false);
        if (n > high || n != std::floor(n))
            r.fail(QStringLiteral("\"%1\" must be a whole number from %2 to %3")
                       .arg(key)
                       .arg(low)
                       .arg(high));
        return int(n);
    };
    t.darkness = whole(QLatin1String("darkness"), 0, 30);
    t.speed = whole(QLatin1String("speed"), 1, 14);
    t.timeout = whole(QLatin1String("timeout"), 1, 600).value_or(30);
    t.printerFont = r.text(QLatin1String("printerFont"), QString());
    static const QRegularExpression fontName(QStringLiteral("^[A-Z]:[A-Za-z0-9_.-]{1,16}$"));
    if (!t.printerFont.isEmpty() && !fontName.match(t.printerFont).hasMatch())
        r.fail(QStringLiteral("\"printerFont\" must name a font stored on the printer, such as "
                              "\"E:TT0003M_.TTF\""));
    const QString status = r.text(QLatin1String("status"), QStringLiteral("on"));
    if (status != QLatin1String("on") && status != QLatin1String("off"))
        r.fail(QStringLiteral("\"status\" must be \"on\" or \"off\""));
    t.printerStatus = status == QLatin1String("on");
}

// "line 3, column 7" for a character offset into the file.
QString placeOf(const QByteArray& json, int offset) {
    const QByteArray before = json.left(offset);
    const auto line = before.count('\n') + 1;
    const auto column = offset - (before.lastIndexOf('\n') + 1) + 1;
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

// Reads the template; with faults given, collects every fault instead of throwing the first.
LabelTemplate readTemplate(const QByteArray& json, const QString& fileName, const QString& folder,
                           Faults* faults) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        const QString place = placeOf(json, error.offset);
        if (!faults)
            throw Failure(QStringLiteral("The label template \"%1\" is wrong: %2 at %3.")
                              .arg(fileName, error.errorString(), place));
        faults->push_back({place, error.errorString()});
        throw Collected();
    }
    const Reader top(fileName, QString(), document.object(), faults);
    if (!document.isObject())
        top.fail(QStringLiteral("the file must hold one object in braces { }"));
    top.allowOnly({QLatin1String("version"), QLatin1String("width"), QLatin1String("height"),
                   QLatin1String("printer"), QLatin1String("font"), QLatin1String("fields"),
                   QLatin1String("items"), QLatin1String("dpi"), QLatin1String("darkness"),
                   QLatin1String("speed"), QLatin1String("printerFont"), QLatin1String("status"),
                   QLatin1String("timeout")});

    LabelTemplate t;
    t.fileName = fileName;
    t.folder = folder;
    top.step([&] {
        if (top.has(QLatin1String("version")) && top.value(QLatin1String("version")).toInt() != 1)
            top.fail(QStringLiteral("this station reads \"version\": 1 only"));
    });
    double width = 0, height = 0;
    bool sized =
        top.step([&] { width = top.number(QLatin1String("width"), std::nullopt, 0, true); });
    sized &= top.step([&] { height = top.number(QLatin1String("height"), std::nullopt, 0, true); });
    if (sized)
        t.size = QSizeF(width, height);
    top.step([&] {
        t.printer = top.text(QLatin1String("printer"), QString());
        if (t.printer.startsWith(QLatin1String("pdf:")) && t.printer.size() == 4)
            top.fail(
                QStringLiteral("\"printer\" \"pdf:\" must name a folder, as in \"pdf:labels\""));
        checkPrinter(top, t.printer);
    });
    top.step([&] { readPrinterSettings(top, t); });
    QString family = defaultFamily;
    top.step([&] { family = top.text(QLatin1String("font"), defaultFamily); });

    const bool listed = top.step([&] {
        const QJsonValue fields = top.value(QLatin1String("fields"));
        if (!fields.isArray())
            top.fail(QStringLiteral("\"fields\" must be a list of parameter field names in [ ]"));
        QSet<QString> seen;
        for (const auto& f : fields.toArray()) {
            top.step([&] {
                const QString name = f.toString();
                if (!f.isString() || name.isEmpty())
                    top.fail(
                        QStringLiteral("every name in \"fields\" must be a text in double quotes"));
                if (seen.contains(name))
                    top.fail(
                        QStringLiteral("the field \"%1\" is listed twice in \"fields\"").arg(name));
                seen.insert(name);
                t.fields.append(name);
            });
        }
    });
    const Frame frame{t.size, listed ? &t.fields : nullptr, family};

    const QJsonValue items = top.value(QLatin1String("items"));
    if (!items.isArray())
        top.fail(QStringLiteral("\"items\" must be a list of items in [ ]"));
    int number = 0;
    for (const auto& v : items.toArray()) {
        ++number;
        const QString type = v.toObject().value(QLatin1String("type")).toString();
        const Reader item(fileName, QStringLiteral("item %1 (%2)").arg(number).arg(type),
                          v.toObject(), faults);
        const Reader untyped(fileName, QStringLiteral("item %1").arg(number), {}, faults);
        untyped.step([&] {
            if (!v.isObject())
                untyped.fail(QStringLiteral("each item must be an object in braces { }"));
            if (type == QLatin1String("text"))
                t.items.emplace_back(readText(item, frame));
            else if (type == QLatin1String("barcode"))
                t.items.emplace_back(readBarcode(item, frame));
            else if (type == QLatin1String("line"))
                t.items.emplace_back(readLine(item, frame));
            else
                untyped.fail(QStringLiteral("\"type\" must be \"text\", \"barcode\" or \"line\""));
        });
    }
    return t;
}

} // namespace

QString LabelContent::resolve(const QStringList& values, const QString& title) const {
    switch (source) {
    case Source::Fixed:
        return text;
    case Source::Field:
        return field < values.size() ? values.at(field) : QString();
    case Source::Title:
        return title;
    }
    return QString();
}

QString LabelContent::named(const QString& text, const QStringList& fieldNames) const {
    if (source == Source::Field && field > 0)
        return QStringLiteral("of the field %1").arg(fieldNames.value(field));
    return QStringLiteral("\"%1\"").arg(text);
}

LabelTemplate LabelTemplate::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("The label template \"%1\" cannot be read: %2.")
                          .arg(QDir::toNativeSeparators(path), file.errorString()));
    const QFileInfo info(path);
    return parse(file.readAll(), QDir::toNativeSeparators(info.absoluteFilePath()),
                 FilePlaces::labelBaseFolder(info.absolutePath()));
}

LabelTemplate LabelTemplate::parse(const QByteArray& json, const QString& fileName,
                                   const QString& folder) {
    return readTemplate(json, fileName, folder, nullptr);
}

LabelTemplateCheck LabelTemplate::check(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        LabelTemplateCheck result;
        result.faults.push_back(
            {QString(), QStringLiteral("cannot be read: %1").arg(file.errorString())});
        return result;
    }
    const QFileInfo info(path);
    return checkText(file.readAll(), QDir::toNativeSeparators(info.absoluteFilePath()),
                     FilePlaces::labelBaseFolder(info.absolutePath()));
}

LabelTemplateCheck LabelTemplate::checkText(const QByteArray& json, const QString& fileName,
                                            const QString& folder) {
    LabelTemplateCheck result;
    try {
        LabelTemplate label = readTemplate(json, fileName, folder, &result.faults);
        if (result.faults.empty())
            result.label = std::move(label);
    } catch (const Collected&) {
        // the fault that ended the reading is collected
    }
    return result;
}
