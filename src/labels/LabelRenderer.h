#pragma once

#include <QString>
#include <QStringList>

class LabelTemplate;
class QPagedPaintDevice;
class QPainter;

// Draws a filled label template with QPainter, so the same code prints to a QPrinter, writes a
// PDF through QPdfWriter and paints the on-screen preview. Barcode modules are whole device dots,
// and never thinner than one dot of the template's printer (its dpi).
class LabelRenderer {
public:
    // Gives the device a page of the label's size with no margins.
    static void preparePage(QPagedPaintDevice& device, const LabelTemplate& label);

    // Draws the label with its top left corner at the device's origin. values[i] is the current
    // value of parameter field i; a field without a value prints as the empty text. Throws
    // RequestDataFailure when a barcode's value cannot be encoded or does not fit its box with
    // modules of whole device dots at least one printer dot wide; Failure when the template's own
    // barcode text or box is at fault.
    static void render(QPainter& painter, const LabelTemplate& label, const QStringList& values,
                       const QString& title);
};
