#pragma once

#include <QObject>

class Station;

// Prints, with no user at the screen, every request of the grid not yet marked printed: the
// manual road (number into the box, lookup, Print) driven row by row.
class AutoPrintCycle : public QObject {
    Q_OBJECT
public:
    explicit AutoPrintCycle(Station& station, QObject* parent = nullptr);

    void PrintPendingRequests();
    void onPrintNowClick();
    void onAutoPrintTick();

private:
    Station& m_station;
};
