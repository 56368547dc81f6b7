#include "ui/clickableimage.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace orvy::ui {

namespace {

// A label's own accessible interface would present it as static text with no action.
class AccessibleClickableImage : public QAccessibleWidget {
public:
    explicit AccessibleClickableImage(ClickableImage *image)
        : QAccessibleWidget(image, image->accessibleRole())
    {
    }

    ClickableImage *image() const { return static_cast<ClickableImage *>(widget()); }

    QAccessible::Role role() const override { return image()->accessibleRole(); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            const QString name = image()->accessibleName();
            return name.isEmpty() ? image()->text() : name;
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (const auto expanded = image()->expanded()) {
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
            image()->click();
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
    if (className == QLatin1String(ClickableImage::staticMetaObject.className()))
        if (auto *image = qobject_cast<ClickableImage *>(object))
            return new AccessibleClickableImage(image);
    return nullptr;
}

} // namespace

ClickableImage::ClickableImage(QWidget *parent)
    : QLabel(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void ClickableImage::setExpanded(bool expanded)
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

void ClickableImage::click()
{
    Q_EMIT clicked();
}

void ClickableImage::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void ClickableImage::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click
        = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        Q_EMIT clicked();
}

void ClickableImage::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            event->accept();
            // A held key clicks once.
            if (!event->isAutoRepeat())
                click();
            return;
        }
        break;
    default:
        break;
    }
    QLabel::keyPressEvent(event);
}

void ClickableImage::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    // The platform's focus rectangle is a dotted line hardly seen on the dark theme.
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
}

} // namespace orvy::ui
