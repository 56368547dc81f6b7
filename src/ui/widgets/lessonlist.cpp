#include "ui/widgets/lessonlist.h"

#include "ui/fonts.h"
#include "ui/widgets/platformpalette.h"

#include <QApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QTextLayout>
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

    // The style marks the keyboard's row with a frame in a shade of the selection colour,
    // hardly seen on #3B3B3B: the mark here is a solid line in CurrentRowMark.
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt(option);
        const bool current = opt.state & QStyle::State_HasFocus;
        opt.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, opt, index);
        if (!current)
            return;
        painter->save();
        painter->setPen(LessonList::CurrentRowMark);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(opt.rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};

// The tooltip's text: the name on one line as far as maxWidth reaches, broken between words
// only beyond it. Qt's tooltip wraps rich text at a narrow width of its own, and
// convertFromPlainText's no-wrap request has no effect (Qt 6.4): so the lines are laid out
// here and each kept whole by white-space:pre. Each is escaped: names are data, never markup.
QString tipMarkup(QString text, const QFont &font, int maxWidth)
{
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(maxWidth);
        lines << text.mid(line.textStart(), line.textLength()).toHtmlEscaped();
    }
    layout.endLayout();
    return QStringLiteral("<p style='white-space:pre'>") + lines.join(QStringLiteral("<br>"))
        + QStringLiteral("</p>");
}

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

    // The families every other text of the window asks for, so that Arabic script is drawn
    // in the same face here too.
    setFont(segoeUi(12));

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

    connect(this, &QListWidget::currentRowChanged, this, &LessonList::onCurrentRowChanged);
}

LessonList::~LessonList()
{
    if (m_watchingKeys)
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
    return !m_shownTip.isEmpty() && QToolTip::isVisible() && QToolTip::text() == m_shownTip;
}

QString LessonList::tipText() const
{
    // The hint cannot change while its tooltip shows: setting one hides the tooltip first.
    return isTipVisible() ? m_hint.section(QLatin1Char('|'), 0, 0) : QString();
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
}

void LessonList::showTip()
{
    // Qt's tooltip shows after its own wake-up delay and again at every rest; the list's
    // rule is its own: once per hint, after TipDelayMs of rest.
    if (!m_armed || !m_pointerInside)
        return;
    m_armed = false;
    const QString tip = m_hint.section(QLatin1Char('|'), 0, 0);
    if (tip.isEmpty())
        return;
    // As wide as the screen under the pointer, less the tooltip's frame and margins.
    const QScreen *under = QGuiApplication::screenAt(m_lastPointer);
    const int frame = style()->pixelMetric(QStyle::PM_ToolTipLabelFrameWidth);
    const int width = (under ? under : screen())->availableGeometry().width() - 4 * (frame + 1) - 16;
    m_shownTip = tipMarkup(tip, QToolTip::font(), width);
    QToolTip::showText(m_lastPointer, m_shownTip, this, QRect(), TipDurationMs);
    // Qt's tooltip goes on a click but stays through key presses (on this platform); here
    // any key press ends it too, so the program watches them while it shows.
    if (!m_watchingKeys) {
        qApp->installEventFilter(this);
        m_watchingKeys = true;
    }
}

bool LessonList::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && m_watchingKeys) {
        cancelTip();
        qApp->removeEventFilter(this);
        m_watchingKeys = false;
    }
    return QListWidget::eventFilter(watched, event);
}

void LessonList::cancelTip()
{
    m_waitTimer.stop();
    if (isTipVisible())
        QToolTip::hideText();
    m_shownTip.clear();
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

bool LessonList::selectCurrentByUser()
{
    QListWidgetItem *item = currentItem();
    if (!item || item->isSelected() || !selectedItems().isEmpty())
        return false;
    item->setSelected(true);
    emit clickedByUser();
    return true;
}

void LessonList::keyPressEvent(QKeyEvent *event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && plain) {
        // The keyboard's way to play the lesson it stands on: Tab marks one as current
        // without selecting it, and the owner plays only a selected one.
        event->accept();
        if (!event->isAutoRepeat()) {
            selectCurrentByUser();
            emit returnPressed();
        }
        return;
    }
    // With nothing selected, the first step selects the lesson marked current (the
    // first one after Tab) instead of passing over it.
    if ((key == Qt::Key_Down || key == Qt::Key_Up) && plain && selectCurrentByUser()) {
        event->accept();
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
    // An item view answers a rest with its items' tooltips, empty here, and an empty
    // answer hides the one shown.
    if (event->type() == QEvent::ToolTip)
        return true;
    return QListWidget::viewportEvent(event);
}

} // namespace orvy::ui
