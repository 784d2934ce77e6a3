#include "station/StationPictures.h"

#include <QPainter>
#include <QPainterPath>

namespace StationPictures {

QPixmap searchSign() {
    QPixmap pixmap(49, 50);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient disc(QPointF(20, 18), 30);
    disc.setColorAt(0, QColor(90, 150, 235));
    disc.setColorAt(1, QColor(30, 80, 170));
    p.setBrush(disc);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(1, 1.5, 47, 47));
    p.setPen(QPen(Qt::white, 4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(11, 11, 19, 19));
    p.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(28, 29), QPointF(37, 38));
    return pixmap;
}

QPixmap keyboard() {
    QPixmap pixmap(36, 31);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.2));
    p.setBrush(QColor(235, 235, 235));
    p.drawRoundedRect(QRectF(1.5, 6.5, 33, 19), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 60, 60));
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 7; ++col)
            p.drawRect(QRectF(4.5 + col * 4.0 + (row == 1 ? 1.5 : 0), 9.5 + row * 4.0, 2.6, 2.6));
    }
    p.drawRect(QRectF(9.5, 21.5, 17, 2.4));
    return pixmap;
}

QIcon windowIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QPen(QColor(64, 64, 64), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRect(1, 6, 29, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    const int bars[] = {2, 1, 1, 3, 1, 2, 1, 1, 2, 1, 3, 1, 1, 2};
    int x = 4;
    for (int i = 0; i < 14; ++i) {
        if (i % 2 == 0)
            p.drawRect(QRect(x, 9, bars[i], 14));
        x += bars[i];
    }
    return QIcon(pixmap);
}

} // namespace StationPictures
