#pragma once

#include "labels/LabelTemplate.h"
#include "labels/PrintJob.h"
#include "labels/ReportEngine.h"

#include <QImage>
#include <QStringList>
#include <memory>
#include <vector>

// The label template drawn as the station would draw it, with no printer: the faults only drawing
// finds, for the template tool's check and the station's set-up check alike.
namespace TemplateRehearsal {

// Values that show the worst a label meets: the longest patient name the database can hand over,
// with quotes and letters beyond ASCII, the rest as the demo has them.
QStringList sampleValues();

// The label's print job for values, filled as the station fills its report: value 1 to the
// first parameter field and so on, fields without a value empty.
class Filler {
public:
    explicit Filler(std::shared_ptr<const LabelTemplate> label);
    PrintJob job(const QStringList& values);

private:
    Report m_report;
};

// A page of the label at dpi, white, for a PNG file or a rehearsal.
QImage labelImage(const LabelTemplate& label, int dpi);
QString itemPlace(const LabelItem& item, std::size_t index);
// The faults only drawing finds (a fixed barcode text its symbology cannot encode, a barcode
// box too small), each item drawn alone with the sample values at dpi.
std::vector<LabelTemplateFault> drawingFaults(const LabelTemplate& label, int dpi);
// The template's faults as "quillon-label check" finds them: reading it, then drawing it at dpi.
LabelTemplateCheck check(const QString& path, int dpi);

} // namespace TemplateRehearsal
