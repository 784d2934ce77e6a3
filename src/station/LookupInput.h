#pragma once

#include <QObject>

class LookupPanel;
class StationActivity;
struct StationControls;

// The handlers that start a lookup or change the exam selection: keys in the number box, a click
// on the request grid, Check All and Reset.
class LookupInput : public QObject {
    Q_OBJECT
public:
    LookupInput(const StationControls& controls, LookupPanel& lookup, StationActivity& activity,
                QObject* parent = nullptr);

    void onNumberEnter();
    void onGridClick();
    void onCheckAllClick();
    void onResetClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const StationControls& m_controls;
    LookupPanel& m_lookup;
    StationActivity& m_activity;
};
