#pragma once

#include <QAccessible>
#include <QLabel>
#include <optional>

namespace orvy::ui {

// A picture (or caption) that acts as a button: hand cursor, clicked() on a left-button
// release inside it, and on Space, Enter or Return while it has the keyboard focus.
//
// It takes the focus from the keyboard only (Tab, Backtab), with a visible frame, so a
// click leaves the keyboard where it was (the player keeps its keys). Assistive
// technology sees it as a button, or as a link for one that opens a web address, with a
// press action; its name is the accessible name when set, else its text.
class ClickableImage : public QLabel {
    Q_OBJECT

public:
    explicit ClickableImage(QWidget *parent = nullptr);

    void setAccessibleRole(QAccessible::Role role) { m_role = role; }
    QAccessible::Role accessibleRole() const { return m_role; }

    // For a button that opens and closes something: reported as expanded or collapsed.
    void setExpanded(bool expanded);
    std::optional<bool> expanded() const { return m_expanded; }

    // Acts as a click.
    void click();

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_pressed = false;
    QAccessible::Role m_role = QAccessible::Button;
    std::optional<bool> m_expanded;
};

} // namespace orvy::ui
