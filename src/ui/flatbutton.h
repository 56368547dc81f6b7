#pragma once

#include <QAccessible>
#include <QPointer>
#include <QToolButton>
#include <optional>

class QFocusFrame;

namespace orvy::ui {

// A flat tool button for the window's pictures and its web-site caption. Qt's own button
// gives the focus from the keyboard only, the click on release and Space; what it lacks
// is here: Return and Enter click as Space does, a key with a modifier never clicks, the
// focus frame lies outside the button (Qt's QFocusFrame) in the highlight colour, so it
// never cuts into a glyph and is seen on black, no hover or press panel is drawn, and
// assistive technology hears a link, or a button that tells whether what it opens is
// expanded.
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
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // Made at the first focus: most learners never tab to these.
    QPointer<QFocusFrame> m_focusFrame;
    QAccessible::Role m_role = QAccessible::Button;
    std::optional<bool> m_expanded;
};

} // namespace orvy::ui
