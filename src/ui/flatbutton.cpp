#include "ui/flatbutton.h"

#include <QAccessibleWidget>
#include <QFocusFrame>
#include <QKeyEvent>
#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace orvy::ui {

namespace {

// Qt's interface for a tool button reports neither a link nor an expanded state.
class AccessibleFlatButton : public QAccessibleWidget {
public:
    explicit AccessibleFlatButton(FlatButton *button)
        : QAccessibleWidget(button, button->accessibleRole())
    {
    }

    FlatButton *button() const { return static_cast<FlatButton *>(widget()); }

    QAccessible::Role role() const override { return button()->accessibleRole(); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && button()->accessibleName().isEmpty())
            return button()->plainText();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (const auto expanded = button()->expanded()) {
            s.expandable = true;
            s.expanded = *expanded;
            s.collapsed = !*expanded;
        }
        return s;
    }

    QStringList actionNames() const override
    {
        return QStringList { pressAction() } + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &actionName) override
    {
        if (actionName == pressAction())
            button()->click();
        else
            QAccessibleWidget::doAction(actionName);
    }

    QStringList keyBindingsForAction(const QString &actionName) const override
    {
        if (actionName == pressAction())
            return { QKeySequence(Qt::Key_Space).toString(QKeySequence::NativeText) };
        return QAccessibleWidget::keyBindingsForAction(actionName);
    }
};

QAccessibleInterface *accessibleFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String(FlatButton::staticMetaObject.className()))
        if (auto *button = qobject_cast<FlatButton *>(object))
            return new AccessibleFlatButton(button);
    return nullptr;
}

} // namespace

FlatButton::FlatButton(QWidget *parent)
    : QToolButton(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setAutoRaise(true);
    setCursor(Qt::PointingHandCursor);
    // A click leaves the keyboard where it was (the player keeps its keys).
    setFocusPolicy(Qt::TabFocus);
}

void FlatButton::setPlainText(const QString &text)
{
    QString shown = text;
    setText(shown.replace(u'&', QStringLiteral("&&")));
}

QString FlatButton::plainText() const
{
    QString shown = text();
    return shown.replace(QStringLiteral("&&"), QStringLiteral("&"));
}

void FlatButton::setExpanded(bool expanded)
{
    if (m_expanded == expanded)
        return;
    m_expanded = expanded;
    QAccessible::State changed;
    changed.expanded = true;
    changed.collapsed = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

void FlatButton::keyPressEvent(QKeyEvent *event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!plain)
            break;
        event->accept();
        // A held key clicks once.
        if (!event->isAutoRepeat())
            click();
        return;
    case Qt::Key_Space:
        if (!plain) {
            event->ignore();
            return;
        }
        break;
    default:
        break;
    }
    QToolButton::keyPressEvent(event);
}

void FlatButton::focusInEvent(QFocusEvent *event)
{
    QToolButton::focusInEvent(event);
    if (!parentWidget())
        return;
    if (!m_focusFrame)
        m_focusFrame = new QFocusFrame(parentWidget());
    // The style paints the ring in the text colour; here it is the highlight.
    QPalette ring = palette();
    ring.setColor(QPalette::WindowText, ring.color(QPalette::Highlight));
    m_focusFrame->setPalette(ring);
    m_focusFrame->setWidget(this);
    m_focusFrame->show();
}

void FlatButton::focusOutEvent(QFocusEvent *event)
{
    QToolButton::focusOutEvent(event);
    if (m_focusFrame)
        m_focusFrame->setWidget(nullptr);
}

void FlatButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionToolButton opt;
    initStyleOption(&opt);
    // The picture or caption alone, as it is designed; the focus frame lies outside.
    opt.state &= ~(QStyle::State_MouseOver | QStyle::State_Sunken | QStyle::State_On | QStyle::State_Raised
        | QStyle::State_HasFocus);
    opt.state |= QStyle::State_AutoRaise;
    painter.drawComplexControl(QStyle::CC_ToolButton, opt);
}

} // namespace orvy::ui
