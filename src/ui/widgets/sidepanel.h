#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace orvy::ui {

// The collapsible side panel. Opening and closing are animated with the right
// edge fixed: each timer tick moves the width by StepWidth until it reaches
// the full width or 0. The owner follows widthStepped() to move its content
// area along, and re-places the panel (keeping width()) when the window resizes.
class SidePanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int DefaultFullWidth = 165;
    static constexpr int StepWidth = 150;
    static constexpr int TickIntervalMs = 1;

    explicit SidePanel(QWidget *parent = nullptr);

    // Open only when fully open with no closing under way; a call during an
    // animation turns it around or lets it go on from the current width.
    void setOpened(bool opened);
    bool isOpened() const;
    bool isAnimating() const { return m_timer.isActive(); }

    int fullWidth() const { return m_fullWidth; }
    // Takes effect at once when the panel is open or opening.
    void setFullWidth(int width);

    // The widget kept filling the panel (the panel's own background never shows).
    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }

Q_SIGNALS:
    void widthStepped(int width);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void step();
    void applyWidth(int width);

    QTimer m_timer;
    int m_fullWidth = DefaultFullWidth;
    int m_targetWidth = DefaultFullWidth;
    QPointer<QWidget> m_content;
};

} // namespace orvy::ui
