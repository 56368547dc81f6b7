#pragma once

#include <QWidget>

namespace orvy::ui {

// A panel with a one-pixel raised frame in the theme's bevel colour and its own
// background; aligned children go inside the frame.
class BevelPanel : public QWidget {
    Q_OBJECT

public:
    explicit BevelPanel(QWidget *parent = nullptr);

    static constexpr int bevelWidth = 1;
    static QColor bevelColor() { return QColor(0x33, 0x33, 0x33); }

    // The area inside the frame.
    QRect innerRect() const { return rect().adjusted(bevelWidth, bevelWidth, -bevelWidth, -bevelWidth); }

Q_SIGNALS:
    void resized();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
};

} // namespace orvy::ui
