#pragma once

#include "queue/LabelEvent.h"

#include <QDate>
#include <QList>
#include <QString>

class ExamChecklistModel;
class LabelHistory;
struct CurrentRequest;

// What a person sees of the label history at a lookup.
namespace HistoryView {

// "printed 2x, last 09:12 at B" (the date too when not today); empty when never printed.
QString summary(const QList<LabelEvent>& events, const QDate& today);
// The events, one a line, oldest first.
QString detail(const QList<LabelEvent>& events);
// Each entry of the looked-up request gets its label's history. A history that cannot be read
// now shows nothing: the lookup itself never fails for it.
void show(LabelHistory& history, const CurrentRequest& request, ExamChecklistModel& entries);

} // namespace HistoryView
