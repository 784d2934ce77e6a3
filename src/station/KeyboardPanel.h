#pragma once

#include <QDialog>
#include <QList>

class QPushButton;
class StationFrame;

// The on-screen keyboard panel frmKeyboard: a letter block and a number block of large keys.
// As designed, its keys send nothing; it closes through its close box.
class KeyboardPanel : public QDialog {
    Q_OBJECT
public:
    static constexpr int designClientWidthTwips = 18315;
    static constexpr int designClientHeightTwips = 5595;

    explicit KeyboardPanel(QWidget* parent = nullptr);

    StationFrame* vkFrame1 = nullptr;
    StationFrame* vkFrame2 = nullptr;
    QList<QPushButton*> cmdKeys; // by index: Q W E ... M, Backspace, Space
    QList<QPushButton*> cmdNum;  // by index: 7 8 9 4 5 6 1 2 3 0

protected:
    // Only the panel's own close box closes it; Escape does nothing.
    void keyPressEvent(QKeyEvent* event) override;
};
