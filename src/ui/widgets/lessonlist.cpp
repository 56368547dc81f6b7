#include "ui/widgets/lessonlist.h"

#include "ui/widgets/platformpalette.h"

#include <QApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionFrame>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace orvy::ui {

namespace {

const QColor ListBackground(0x3B, 0x3B, 0x3B);
const QColor ItemText(0x00, 0xFF, 0xFF);

class FixedHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return { QStyledItemDelegate::sizeHint(option, index).width(), LessonList::ItemHeight };
    }
};

// A tooltip window drawn like the platform's own, but shown and hidden only
// by the list, so the list's timing rules hold exactly.
class TipLabel : public QLabel {
public:
    explicit TipLabel(QWidget *parent)
        : QLabel(parent, Qt::ToolTip | Qt::BypassGraphicsProxyWidget | Qt::WindowTransparentForInput)
    {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        // Lesson names are data, never markup.
        setTextFormat(Qt::PlainText);
        setForegroundRole(QPalette::ToolTipText);
        setBackgroundRole(QPalette::ToolTipBase);
        setPalette(QToolTip::palette());
        setFont(QToolTip::font());
        ensurePolished();
        setMargin(1 + style()->pixelMetric(QStyle::PM_ToolTipLabelFrameWidth, nullptr, this));
        setFrameStyle(QFrame::NoFrame);
        setIndent(1);
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QStylePainter painter(this);
        QStyleOptionFrame opt;
        opt.initFrom(this);
        painter.drawPrimitive(QStyle::PE_PanelTipLabel, opt);
        painter.end();
        QLabel::paintEvent(event);
    }
};

} // namespace

LessonList::LessonList(QWidget *parent)
    : QListWidget(parent)
{
    setFrameShape(QFrame::NoFrame);
    setLayoutDirection(Qt::RightToLeft);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The list is narrow: names are cut, the tooltip shows them whole.
    setTextElideMode(Qt::ElideNone);
    setWordWrap(false);
    setUniformItemSizes(true);
    setItemDelegate(new FixedHeightDelegate(this));

    QFont font(QStringLiteral("Segoe UI"));
    font.setPixelSize(12);
    setFont(font);

    // Own colours for the list itself, the platform's for the selection.
    QPalette own = platformPalette();
    for (const auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
        own.setColor(group, QPalette::Base, ListBackground);
        own.setColor(group, QPalette::Window, ListBackground);
        own.setColor(group, QPalette::Text, ItemText);
    }
    setPalette(own);
    verticalScrollBar()->setPalette(platformPalette());
    horizontalScrollBar()->setPalette(platformPalette());

    setMouseTracking(true);
    viewport()->setMouseTracking(true);

    m_waitTimer.setSingleShot(true);
    m_waitTimer.setTimerType(Qt::PreciseTimer);
    m_waitTimer.setInterval(TipDelayMs);
    connect(&m_waitTimer, &QTimer::timeout, this, &LessonList::showTip);
    m_hideTimer.setSingleShot(true);
    m_hideTimer.setTimerType(Qt::PreciseTimer);
    m_hideTimer.setInterval(TipDurationMs);
    connect(&m_hideTimer, &QTimer::timeout, this, &LessonList::cancelTip);

    connect(this, &QListWidget::currentRowChanged, this, &LessonList::onCurrentRowChanged);
}

LessonList::~LessonList()
{
    if (m_filterInstalled)
        qApp->removeEventFilter(this);
}

void LessonList::setHint(const QString &hint)
{
    cancelTip();
    m_hint = hint;
    m_armed = !hint.isEmpty();
    restartWait();
}

bool LessonList::isTipVisible() const
{
    return m_tip && m_tip->isVisible();
}

QString LessonList::tipText() const
{
    return isTipVisible() ? m_tip->text() : QString();
}

QPoint LessonList::tipPosition() const
{
    return isTipVisible() ? m_tip->pos() : QPoint();
}

void LessonList::onCurrentRowChanged()
{
    if (m_userInput > 0)
        emit clickedByUser();
}

void LessonList::restartWait()
{
    if (m_armed && m_pointerInside && !isTipVisible())
        m_waitTimer.start();
    updateAppFilter();
}

void LessonList::showTip()
{
    if (!m_armed || !m_pointerInside)
        return;
    m_armed = false;
    const QString text = m_hint.section(QLatin1Char('|'), 0, 0);
    if (text.isEmpty()) {
        updateAppFilter();
        return;
    }
    if (!m_tip)
        m_tip = new TipLabel(this);
    m_tip->setText(text);
    m_tip->adjustSize();

    QPoint at = m_lastPointer + QPoint(0, TipOffsetY);
    if (const QScreen *screen = QGuiApplication::screenAt(m_lastPointer)) {
        const QRect area = screen->availableGeometry();
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - m_tip->width())));
        if (at.y() + m_tip->height() > area.bottom() + 1)
            at.setY(m_lastPointer.y() - m_tip->height() - 2);
    }
    m_tip->move(at);
    m_tip->show();
    m_hideTimer.start();
    updateAppFilter();
}

void LessonList::cancelTip()
{
    m_waitTimer.stop();
    m_hideTimer.stop();
    if (m_tip)
        m_tip->hide();
    updateAppFilter();
}

void LessonList::updateAppFilter()
{
    // Any click or key press anywhere in the program ends the tooltip, so
    // watch the whole application, but only while a tooltip is due or shown.
    const bool wanted = m_waitTimer.isActive() || isTipVisible();
    if (wanted == m_filterInstalled)
        return;
    if (wanted)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
    m_filterInstalled = wanted;
}

bool LessonList::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
        if (m_filterInstalled)
            cancelTip();
        break;
    default:
        break;
    }
    return QListWidget::eventFilter(watched, event);
}

void LessonList::mousePressEvent(QMouseEvent *event)
{
    ++m_userInput;
    QListWidget::mousePressEvent(event);
    --m_userInput;
}

void LessonList::mouseMoveEvent(QMouseEvent *event)
{
    m_pointerInside = true;
    m_lastPointer = event->globalPosition().toPoint();
    if (!isTipVisible())
        restartWait();
    ++m_userInput;
    QListWidget::mouseMoveEvent(event);
    --m_userInput;
}

void LessonList::mouseReleaseEvent(QMouseEvent *event)
{
    ++m_userInput;
    QListWidget::mouseReleaseEvent(event);
    --m_userInput;
}

void LessonList::mouseDoubleClickEvent(QMouseEvent *event)
{
    ++m_userInput;
    QListWidget::mouseDoubleClickEvent(event);
    --m_userInput;
    if (event->button() == Qt::LeftButton)
        emit doubleClickedByUser();
}

void LessonList::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        // The keyboard's way to play: the owner decides what a press without a selection does.
        event->accept();
        if (!event->isAutoRepeat())
            emit returnPressed();
        return;
    }
    ++m_userInput;
    QListWidget::keyPressEvent(event);
    --m_userInput;
}

void LessonList::enterEvent(QEnterEvent *event)
{
    QListWidget::enterEvent(event);
    m_pointerInside = true;
    m_lastPointer = event->globalPosition().toPoint();
    restartWait();
}

void LessonList::leaveEvent(QEvent *event)
{
    QListWidget::leaveEvent(event);
    m_pointerInside = false;
    cancelTip();
    emit mouseLeft();
}

void LessonList::hideEvent(QHideEvent *event)
{
    QListWidget::hideEvent(event);
    m_pointerInside = false;
    cancelTip();
}

bool LessonList::viewportEvent(QEvent *event)
{
    // Tooltips here are ours alone; the item view's own would compete.
    if (event->type() == QEvent::ToolTip)
        return true;
    return QListWidget::viewportEvent(event);
}

} // namespace orvy::ui
