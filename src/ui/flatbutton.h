#pragma once

#include <QAccessible>
#include <QToolButton>
#include <optional>

namespace orvy::ui {

// A flat tool button for the window's pictures and its web-site caption. Qt's own button
// gives the focus from the keyboard only, the click on release and Space; what it lacks
// is here: Return and Enter click as Space does, a key with a modifier never clicks, the
// focus frame is drawn in the highlight colour (the style's is hardly seen on black), no
// hover or press panel is drawn, and assistive technology hears a link, or a button that
// tells whether what it opens is expanded.
class FlatButton : public QToolButton {
    Q_OBJECT

public:
    explicit FlatButton(QWidget *parent = nullptr);

    // Text shown as typed: an '&' is shown, never taken as a shortcut mark.
    void setPlainText(const QString &text);
    QString plainText() const;

    void setAccessibleRole(QAccessible::Role role) { m_role = role; }
    QAccessible::Role accessibleRole() const { return m_role; }

    void setExpanded(bool expanded);
    std::optional<bool> expanded() const { return m_expanded; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QAccessible::Role m_role = QAccessible::Button;
    std::optional<bool> m_expanded;
};

} // namespace orvy::ui
