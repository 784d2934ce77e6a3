#pragma once

#include <QObject>

class Station;

// The Print button: for every ticked entry of the loaded request, in list order, its labels (the
// asked number of copies), its barcode records and its print-log line; then back to searching.
class PrintCommand : public QObject {
    Q_OBJECT
public:
    explicit PrintCommand(Station& station, QObject* parent = nullptr);

    // The click handler's work; the automatic cycle runs it directly. Returns false when the job
    // stopped on a failure (shown to the user; the request stays loaded) or on Exit.
    bool run();
    // A click on Print: dropped while a lookup, print job or cycle runs.
    void onPrintClick();

private:
    Station& m_station;
};
