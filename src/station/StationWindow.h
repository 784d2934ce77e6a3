#pragma once

#include "station/Twips.h"

#include <QWidget>

class CheckList;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class RequestGrid;
class StationFrame;

// Every control of the station window, under its designed name.
struct StationControls {
    StationFrame* fraMain = nullptr;
    QLabel* Label5 = nullptr;
    QPushButton* cmdRefresh = nullptr;
    QPushButton* cmdPrintNow = nullptr;
    RequestGrid* Grid1 = nullptr;
    QLabel* Label3 = nullptr;
    QCheckBox* vkchkAutoPrintRequests = nullptr;
    StationFrame* fraSearch = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtNumber = nullptr;
    QPushButton* cmdKeyboard = nullptr;
    QPlainTextEdit* txtExams = nullptr;
    StationFrame* fraExams = nullptr;
    QLabel* lblPatientName = nullptr;
    CheckList* lstExams = nullptr;
    QCheckBox* chkAll = nullptr;
    QLabel* vkLabel1 = nullptr;
    QLineEdit* txtCopies = nullptr;
    QPushButton* cmdGenerate = nullptr;
    QPushButton* cmdNew = nullptr;
    QPushButton* cmdExit = nullptr;
    QLabel* lblORVANT = nullptr;
    // What unattended work last reported, in the free strip between the grid and the box.
    QLabel* lblStatus = nullptr;
    // Shown only while requests left the list unprinted: opens their list.
    QPushButton* cmdUnprinted = nullptr;
    QTimer* tmrCheckRequests = nullptr;
    QTimer* tmrAutoPrint = nullptr;
};

// The station window frmQuillon: its controls at their designed places and the rule that keeps
// the working area centred. Behaviour is attached by the station's rooms.
class StationWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int designClientWidthTwips = 13725;
    static constexpr int designClientHeightTwips = 11115;

    explicit StationWindow(QWidget* parent = nullptr);

    const StationControls& controls() const { return m_controls; }
    const Twips& twips() const { return m_twips; }
    // Applies the centring rule for an outer window size in twips.
    void applyResizeRule(float outerWidthTwips, float outerHeightTwips);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void setTabOrder();

    Twips m_twips;
    StationControls m_controls;
};
