#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class LabelTemplate;

// Writes a filled label template as one ZPL format (^XA ... ^XZ) for a thermal label printer, at
// the template's dpi, in whole printer dots: texts in the printer's scalable font, Code 128 as the
// printer's own barcode command, other symbologies and lines as graphic boxes, the label's size,
// and darkness and speed when the template sets them. Every text reaches the printer as hex
// escapes of its UTF-8 bytes, so no value can end its field or start a command.
class ZplRenderer {
public:
    // Throws RequestDataFailure when a value cannot be printed: a barcode its symbology cannot
    // encode or that does not fit its box, a text holding characters the printer's font lacks.
    // Throws Failure when the template's own text or box is at fault.
    static QByteArray render(const LabelTemplate& label, const QStringList& values,
                             const QString& title);

    // The field data of a ^FH field: the text's UTF-8 bytes, every one but letters, digits and
    // harmless punctuation written as _XX.
    static QByteArray escapedFieldData(const QString& text);

    // The width of a text in the printer's resident font 0 at a height of h dots, rounded up:
    // close to the printer's own, and never less for the characters it has.
    static int textWidth(const QString& text, int h);
};
