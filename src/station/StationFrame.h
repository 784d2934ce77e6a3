#pragma once

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QString>

// A captioned frame of the station: white body, thin rounded border, caption on the top edge.
// Children sit at their design places inside it; disabling it disables them all.
class StationFrame : public QFrame {
    Q_OBJECT
public:
    StationFrame(const QString& caption, const QFont& captionFont, QWidget* parent = nullptr);

    QString caption() const { return m_caption; }
    // Gives the focus to the frame's first focusable control (the frame itself takes none). On a
    // disabled frame this does nothing and does not fail.
    void takeFocus();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_caption;
};
