#pragma once

#include <QObject>

class Station;

// Prints, with no user at the screen, every request of the grid not yet marked printed: the
// manual road (number into the box, lookup, Print) driven row by row.
class AutoPrintCycle : public QObject {
    Q_OBJECT
public:
    explicit AutoPrintCycle(Station& station, QObject* parent = nullptr);

    // One run over the rows the grid holds when it starts, from the top. Throws Failure naming
    // the request where it stopped; rows marked and entries logged before it stay.
    void PrintPendingRequests();
    // Print Now and the auto-print tick are dropped while a lookup, print job or run is going
    // on; the tick stops both timers for its run and starts them again as the box says.
    void onPrintNowClick();
    void onAutoPrintTick();

private:
    // Prints one unmarked row. False when the lookup or the Print command stopped on a failure
    // they have shown themselves: the row stays unmarked for the next run.
    bool printRow(int row);
    void run(bool fromTick);

    Station& m_station;
};
