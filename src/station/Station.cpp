#include "station/Station.h"

#include "station/StationWindow.h"

Station::Station(LabDatabase& lab, Messages& messages, QObject* parent)
    : QObject(parent)
    , m_lab(lab)
    , m_messages(messages)
    , m_window(std::make_unique<StationWindow>()) {}

Station::~Station() = default;

void Station::show() {
    m_window->show();
}
