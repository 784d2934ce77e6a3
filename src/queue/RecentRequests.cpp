#include "queue/RecentRequests.h"

#include "station/Station.h"

RecentRequests::RecentRequests(Station& station, QObject* parent)
    : QObject(parent)
    , m_station(station) {}

void RecentRequests::LoadRecentRequests() {}

void RecentRequests::AddRequestRow(const QString&) {}

void RecentRequests::onRefreshClick() {}

void RecentRequests::onRefreshTick() {}
