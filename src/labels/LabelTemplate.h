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
    QString printer;    // "" system default, a printer name, or "pdf:<folder>"
    QStringList fields; // parameter field names, in the template's own order
    std::vector<LabelItem> items;
    QString folder; // the folder the template was read from
    QString fileName;
};

struct LabelTemplateCheck {
    std::vector<LabelTemplateFault> faults; // in the order they were found
    std::optional<LabelTemplate> label;     // the template, when there is no fault
};
