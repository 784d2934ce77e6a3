#pragma once

#include <QByteArray>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>
#include <vector>

// A label template: the label's size, where it prints, its parameter fields in order and the items
// drawn on it. Read from the JSON file format described in docs/label-template.md. All lengths are
// millimetres, font sizes points.

enum class LabelAlign { Left, Center, Right };

struct LabelFont {
    QString family;
    double size = 7;
    bool bold = false;
};

// Where a text or a barcode takes its content from.
struct LabelContent {
    enum class Source { Fixed, Field, Title };
    Source source = Source::Fixed;
    QString text;   // the fixed text
    int field = -1; // index into LabelTemplate::fields for Source::Field

    // What is printed: the fixed text, the field's value (empty when the station gives it none)
    // or the title.
    QString resolve(const QStringList& values, const QString& title) const;
    // The text is one of the values handed over, so a fault of it is the request's; a fixed text,
    // or a field the station gives no value, is the template's, and no later label gets past it.
    bool fromRequest(const QStringList& values) const {
        return source == Source::Field && field < values.size();
    }
    // How a fault names the text: in quotes when it is the template's own or the label's barcode
    // (the first value), else by its field alone ("of the field PatientName"). The other values
    // are the patient's, and a fault's words reach the status line and the station log.
    QString named(const QString& text, const QStringList& fieldNames) const;
};

struct LabelText {
    LabelContent content;
    QString prefix;
    LabelFont font;
    LabelAlign align = LabelAlign::Left;
    QRectF box;
};

struct LabelBarcode {
    LabelContent content;
    int symbology = 0; // zint BARCODE_* number
    QString symbologyName;
    bool humanReadable = true;
    bool quietZones = true;
    LabelFont font; // of the human-readable line
    LabelAlign align = LabelAlign::Center;
    QRectF box;
};

struct LabelLine {
    QPointF from;
    QPointF to;
    double thickness = 0.2;
};

using LabelItem = std::variant<LabelText, LabelBarcode, LabelLine>;

// One fault of a template: where it is and what is wrong there.
struct LabelTemplateFault {
    QString place; // "item 3 (text)", "line 2, column 7" for a JSON fault; empty: the file itself
    QString what;  // e.g. unknown setting "sise"
};

struct LabelTemplateCheck;

class LabelTemplate {
public:
    // Reads and checks a template file. Throws Failure naming the file, the item and the fault.
    static LabelTemplate load(const QString& path);
    // Checks template text; fileName names it in messages, folder anchors a relative pdf: folder.
    static LabelTemplate parse(const QByteArray& json, const QString& fileName,
                               const QString& folder);

    // As load() and parse(), but every fault is collected rather than the first thrown, so that
    // a template can be mended in one pass. A JSON fault stops the reading: nothing after it can
    // be read. The first fault is the one load() and parse() throw.
    static LabelTemplateCheck check(const QString& path);
    static LabelTemplateCheck checkText(const QByteArray& json, const QString& fileName,
                                        const QString& folder);

    QSizeF size;        // millimetres
    QString printer;    // "" system default, a printer name, "pdf:<folder>" or "zpl:..."
    QStringList fields; // parameter field names, in the template's own order
    std::vector<LabelItem> items;
    QString folder; // the folder the template was read from

    // For ZPL printers: the printer's resolution, its darkness (0 to 30) and speed (inches a
    // second) when the template sets them, a font stored on the printer that replaces its
    // resident font 0, and whether a network printer is asked for its status.
    int dpi = 203;
    std::optional<int> darkness;
    std::optional<int> speed;
    QString printerFont;
    bool printerStatus = true;
    // Seconds a printer or a spooler queue has to confirm a label.
    int timeout = 30;
    QString fileName;
};

struct LabelTemplateCheck {
    std::vector<LabelTemplateFault> faults; // in the order they were found
    std::optional<LabelTemplate> label;     // the template, when there is no fault
};
