#pragma once

#include <QLabel>

namespace orvy::ui {

// A picture that acts as a button: hand cursor, clicked() on a left-button release inside it.
class ClickableImage : public QLabel {
    Q_OBJECT

public:
    explicit ClickableImage(QWidget *parent = nullptr);

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};

} // namespace orvy::ui
