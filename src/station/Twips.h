#pragma once

#include <QRect>
#include <QtGlobal>

// Design places and sizes are in twips (1/1440 inch); 15 twips make one pixel at 96 dpi. Every
// conversion to pixels goes through here, at the screen's logical dpi.
class Twips {
public:
    explicit Twips(qreal logicalDpi = 96.0)
        : m_dpi(logicalDpi > 0 ? logicalDpi : 96.0) {}

    qreal dpi() const { return m_dpi; }
    int toPixels(qreal twips) const { return qRound(twips * m_dpi / 1440.0); }
    qreal fromPixels(int pixels) const { return pixels * 1440.0 / m_dpi; }
    QRect rect(int left, int top, int width, int height) const {
        return {toPixels(left), toPixels(top), toPixels(width), toPixels(height)};
    }

private:
    qreal m_dpi;
};
