#include "station/KeyboardPanel.h"

#include "station/StationFrame.h"
#include "station/Twips.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

namespace {

struct KeyPlace {
    const char* caption;
    int left;
    int top;
    int width;
};

constexpr int keyHeight = 1215;
constexpr int keyWidth = 1335;

constexpr KeyPlace letterKeys[] = {
    {"Q", 150, 420, keyWidth},    {"W", 1500, 420, keyWidth},  {"E", 2850, 420, keyWidth},
    {"R", 4200, 420, keyWidth},   {"T", 5550, 420, keyWidth},  {"Y", 6900, 420, keyWidth},
    {"U", 8250, 420, keyWidth},   {"I", 9600, 420, keyWidth},  {"O", 10950, 420, keyWidth},
    {"P", 12300, 420, keyWidth},  {"A", 780, 1650, keyWidth},  {"S", 2130, 1650, keyWidth},
    {"D", 3480, 1650, keyWidth},  {"F", 4830, 1650, keyWidth}, {"G", 6180, 1650, keyWidth},
    {"H", 7530, 1650, keyWidth},  {"J", 8880, 1650, keyWidth}, {"K", 10230, 1650, keyWidth},
    {"L", 11580, 1650, keyWidth}, {"Z", 1200, 2880, keyWidth}, {"X", 2550, 2880, keyWidth},
    {"C", 3900, 2880, keyWidth},  {"V", 5250, 2880, keyWidth}, {"B", 6600, 2880, keyWidth},
    {"N", 7950, 2880, keyWidth},  {"M", 9300, 2880, keyWidth}, {"Backspace", 10650, 2880, 1965},
    {"Space", 1200, 4110, 11415},
};

constexpr KeyPlace numberKeys[] = {
    {"7", 150, 420, keyWidth},   {"8", 1500, 420, keyWidth},  {"9", 2850, 420, keyWidth},
    {"4", 150, 1650, keyWidth},  {"5", 1500, 1650, keyWidth}, {"6", 2850, 1650, keyWidth},
    {"1", 150, 2880, keyWidth},  {"2", 1500, 2880, keyWidth}, {"3", 2850, 2880, keyWidth},
    {"0", 1500, 4110, keyWidth},
};

} // namespace

KeyboardPanel::KeyboardPanel(QWidget* parent)
    : QDialog(parent) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const Twips t(screen ? screen->logicalDotsPerInch() : 96.0);
    setObjectName(QStringLiteral("frmKeyboard"));
    setWindowTitle(QStringLiteral(" Keyboard"));
    setModal(true);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setFixedSize(t.toPixels(designClientWidthTwips), t.toPixels(designClientHeightTwips));

    QFont frameFont(QStringLiteral("Arial"));
    frameFont.setPointSizeF(9);
    frameFont.setBold(true);
    vkFrame1 = new StationFrame(QStringLiteral("Alpha Keys"), frameFont, this);
    vkFrame1->setGeometry(t.rect(60, 60, 13815, 5475));
    vkFrame2 = new StationFrame(QStringLiteral("Num Keys"), frameFont, this);
    vkFrame2->setGeometry(t.rect(13920, 60, 4335, 5475));

    QFont keyFont(QStringLiteral("Arial"));
    keyFont.setPointSizeF(15.75);
    const auto makeKey = [&](const KeyPlace& place, StationFrame* frame) {
        auto* key = new QPushButton(QLatin1String(place.caption), frame);
        key->setFont(keyFont);
        key->setGeometry(t.rect(place.left, place.top, place.width, keyHeight));
        return key;
    };
    for (const KeyPlace& place : letterKeys)
        cmdKeys.append(makeKey(place, vkFrame1));
    for (const KeyPlace& place : numberKeys)
        cmdNum.append(makeKey(place, vkFrame2));

    // Tab order: letter keys by index + 1 (Space 27, Backspace 28), then the number keys.
    QList<QPushButton*> order = cmdKeys.mid(0, 26);
    order << cmdKeys.at(27) << cmdKeys.at(26) << cmdNum;
    for (int i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order.at(i), order.at(i + 1));
}

void KeyboardPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
