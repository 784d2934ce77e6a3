#include "labels/PrintCommand.h"

#include "station/Station.h"

PrintCommand::PrintCommand(Station& station, QObject* parent)
    : QObject(parent)
    , m_station(station) {}

void PrintCommand::run() {}

void PrintCommand::onPrintClick() {}
