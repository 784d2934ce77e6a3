#include "station/StationFrame.h"

#include <QPainter>
#include <QPainterPath>

StationFrame::StationFrame(const QString& caption, const QFont& captionFont, QWidget* parent)
    : QFrame(parent)
    , m_caption(caption) {
    setFont(captionFont);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void StationFrame::takeFocus() {
    if (!isEnabled())
        return;
    if (QWidget* focused = focusWidget(); focused && isAncestorOf(focused) && focused->hasFocus())
        return;
    for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
        if (isAncestorOf(w) && w->isEnabled() && w->isVisibleTo(this) &&
            (w->focusPolicy() & Qt::TabFocus)) {
            w->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

void StationFrame::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics fm(font());
    const qreal top = m_caption.isEmpty() ? 0.5 : fm.height() / 2.0;
    const QRectF body = QRectF(rect()).adjusted(0.5, top, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(body, 6, 6);
    p.fillPath(path, Qt::white);
    p.setPen(QColor(192, 192, 192));
    p.drawPath(path);
    if (!m_caption.isEmpty()) {
        const int width = fm.horizontalAdvance(m_caption) + 8;
        const QRect captionRect(10, 0, width, fm.height());
        p.fillRect(captionRect, Qt::white);
        p.setPen(isEnabled() ? QColor(49, 106, 197) : QColor(160, 160, 160));
        p.drawText(captionRect, Qt::AlignCenter, m_caption);
    }
}
