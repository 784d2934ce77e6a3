#pragma once

#include <QObject>

class LookupPanel;
class StationActivity;
struct StationControls;

// The handlers that start a lookup or change the exam selection: keys in the number box, a click
// on the request grid, Check All and Reset. During an automatic run they are carried out at once
// (the run prints from its own checklist, in the background); while a person's own lookup or
// print job runs they are refused with a note on the status line.
class LookupInput : public QObject {
    Q_OBJECT
public:
    LookupInput(const StationControls& controls, LookupPanel& lookup, StationActivity& activity,
                QObject* parent = nullptr);

    void onNumberEnter();
    void onGridClick();
    void onCheckAllClick();
    void onResetClick();

Q_SIGNALS:
    // A person's input is about to use the number box or the checklist: an automatic run that
    // shows its request there gives the window back first.
    void takesWindow();
    // What the station says on its status line, asking nobody.
    void told(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // False, with a note, while a person's own lookup or print job runs.
    bool mayStart(const QString& refused);

    const StationControls& m_controls;
    LookupPanel& m_lookup;
    StationActivity& m_activity;
};
