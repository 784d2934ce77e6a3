#include "queue/AutoPrintCycle.h"

#include "station/Station.h"

AutoPrintCycle::AutoPrintCycle(Station& station, QObject* parent)
    : QObject(parent)
    , m_station(station) {}

void AutoPrintCycle::PrintPendingRequests() {}

void AutoPrintCycle::onPrintNowClick() {}

void AutoPrintCycle::onAutoPrintTick() {}
