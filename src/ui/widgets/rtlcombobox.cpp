#include "ui/widgets/rtlcombobox.h"

#include "ui/widgets/platformpalette.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QProxyStyle>
#include <QScreen>
#include <QStandardItemModel>
#include <QStyleFactory>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <algorithm>

namespace orvy::ui {

namespace {

constexpr int CaptionSpacing = 4;
constexpr int TextMargin = 3;

// Draws one line of an item's text in the rectangle, its beginning at the reading
// start. An elided text keeps at least one letter before the ellipsis; where not even
// that fits (the narrow type field), the text is cut at the rectangle's edge instead of
// leaving nothing but the ellipsis.
void drawItemText(QPainter *painter, const QRect &rect, Qt::LayoutDirection direction,
    const QFontMetrics &metrics, const QString &text)
{
    QString shown = metrics.elidedText(text, Qt::ElideRight, rect.width());
    if (shown != text && shown.size() <= 1)
        shown = text;
    painter->save();
    painter->setClipRect(rect, Qt::IntersectClip);
    painter->drawText(rect,
        int(QStyle::visualAlignment(direction, Qt::AlignLeft | Qt::AlignVCenter)) | Qt::TextSingleLine
            | Qt::TextDontClip,
        shown);
    painter->restore();
}

// Paints the drop-down items in the list's own text colour on black, the
// hovered/current one in the platform's selection colours. A delegate of our
// own also keeps styles that draw combo popups as menus from recolouring them.
class ItemDelegate : public QStyledItemDelegate {
public:
    explicit ItemDelegate(RtlComboBox *combo)
        : QStyledItemDelegate(combo)
        , m_combo(combo)
    {
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const bool marked = opt.state & (QStyle::State_Selected | QStyle::State_MouseOver);
        const QPalette platform = platformPalette();
        painter->save();
        painter->fillRect(
            opt.rect, marked ? platform.color(QPalette::Active, QPalette::Highlight) : Qt::black);
        painter->setPen(
            marked ? platform.color(QPalette::Active, QPalette::HighlightedText) : m_combo->textColor());
        painter->setFont(opt.font);
        painter->setLayoutDirection(opt.direction);
        drawItemText(painter, opt.rect.adjusted(TextMargin, 0, -TextMargin, 0), opt.direction,
            opt.fontMetrics, opt.text);
        painter->restore();
    }

    // One height for every row, whatever the list's length: left alone, the popup's rows
    // grow to fill the room a short list is given.
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return { QStyledItemDelegate::sizeHint(option, index).width(), m_combo->popupRowHeight() };
    }

private:
    RtlComboBox *m_combo;
};

} // namespace

ListBelowFieldStyle::ListBelowFieldStyle(QObject *owner)
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name()))
{
    setParent(owner);
}

int ListBelowFieldStyle::styleHint(
    StyleHint hint, const QStyleOption *option, const QWidget *widget, QStyleHintReturn *returnData) const
{
    if (hint == SH_ComboBox_Popup)
        return 0;
    // A plain one-pixel line in the theme's frame colour (the popup draws it in its
    // Dark role), so the list stands out from the black toolbar.
    if (hint == SH_ComboBox_PopupFrameStyle)
        return QFrame::Box | QFrame::Plain;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

RtlComboBox::RtlComboBox(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(false);
    setLayoutDirection(Qt::RightToLeft);
    setStyle(new ListBelowFieldStyle(this));
    setItemDelegate(new ItemDelegate(this));
    view()->setTextElideMode(Qt::ElideRight);
    // Every item is one line in one font: the list lays out 10,000 items from the
    // first one's size instead of shaping each text.
    if (auto *list = qobject_cast<QListView *>(view()))
        list->setUniformItemSizes(true);
    connect(this, &QComboBox::activated, this, &RtlComboBox::onActivated);
    applyColors();
}

RtlComboBox::~RtlComboBox()
{
    if (m_caption)
        m_caption->removeEventFilter(this);
}

void RtlComboBox::addItemWithId(const QString &text, qint32 id)
{
    addItemsWithIds({ { text, id } });
}

void RtlComboBox::addItemsWithIds(const QList<std::pair<QString, qint32>> &items)
{
    if (items.isEmpty())
        return;
    // Adding items never chooses one: a list filled from code stays without a selection.
    const bool noSelection = currentIndex() < 0;
    QList<QStandardItem *> rows;
    rows.reserve(items.size());
    for (const auto &[text, id] : items) {
        auto *item = new QStandardItem(text);
        item->setData(QVariant::fromValue(id), Qt::UserRole);
        rows.append(item);
    }
    // The list's own model (it is never replaced), in one step.
    static_cast<QStandardItemModel *>(model())->invisibleRootItem()->appendRows(rows);
    if (noSelection)
        setCurrentIndex(-1);
}

qint32 RtlComboBox::attachedInteger(int index) const
{
    if (index < 0 || index >= count())
        return 0;
    return itemData(index, Qt::UserRole).value<qint32>();
}

void RtlComboBox::setTextColor(const QColor &color)
{
    m_textColor = color;
    applyColors();
    update();
    view()->viewport()->update();
}

void RtlComboBox::applyColors()
{
    QPalette own = palette();
    for (const auto role : { QPalette::Text, QPalette::ButtonText, QPalette::WindowText }) {
        own.setColor(QPalette::Active, role, m_textColor);
        own.setColor(QPalette::Inactive, role, m_textColor);
    }
    setPalette(own);

    QPalette list = view()->palette();
    list.setColor(QPalette::Base, Qt::black);
    list.setColor(QPalette::Window, Qt::black);
    list.setColor(QPalette::Text, m_textColor);
    view()->setPalette(list);
}

int RtlComboBox::popupRowHeight() const
{
    return fontMetrics().height() + 2;
}

void RtlComboBox::showPopup()
{
    m_itemAtPopup = QPersistentModelIndex(model()->index(currentIndex(), modelColumn(), rootModelIndex()));
    QComboBox::showPopup();
    if (auto *frame = qobject_cast<QFrame *>(view()->parentWidget())) {
        frame->setForegroundRole(QPalette::Dark);
        frame->setLineWidth(1);
    }
    // With nothing chosen the open list marks no row either, so its first Down goes to
    // the first item rather than past it.
    if (currentIndex() < 0)
        view()->setCurrentIndex(QModelIndex());

    // The drop-down part is exactly as wide as the field and hangs below it
    // (above when the screen has no room), whatever the style would choose.
    QWidget *popup = view()->window();
    if (!popup || popup == window() || !popup->isVisible())
        return;
    const QPoint fieldTopLeft = mapToGlobal(QPoint(0, 0));
    QRect geometry(fieldTopLeft.x(), fieldTopLeft.y() + height(), width(), popup->height());
    if (const QScreen *screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        if (geometry.bottom() > available.bottom() && fieldTopLeft.y() - geometry.height() >= available.top())
            geometry.moveBottom(fieldTopLeft.y() - 1);
    }
    popup->setGeometry(geometry);
}

void RtlComboBox::onActivated(int index)
{
    // Qt reports a pick in the popup also when it is the item already chosen.
    const QPersistentModelIndex picked(model()->index(index, modelColumn(), rootModelIndex()));
    if (picked == m_itemAtPopup)
        return;
    m_itemAtPopup = picked;
    emit changedByUser();
}

void RtlComboBox::selectByUser(int index)
{
    if (index < 0 || index >= count() || index == currentIndex())
        return;
    setCurrentIndex(index);
    emit changedByUser();
}

void RtlComboBox::typeAhead(const QString &text)
{
    if (!m_sinceLastChar.isValid() || m_sinceLastChar.elapsed() >= TypeAheadIntervalMs)
        m_prefix.clear();
    m_sinceLastChar.start();
    m_prefix += text;
    for (int i = 0; i < count(); ++i) {
        const bool enabled
            = model()->flags(model()->index(i, modelColumn(), rootModelIndex())) & Qt::ItemIsEnabled;
        if (enabled && itemText(i).startsWith(m_prefix, Qt::CaseInsensitive)) {
            selectByUser(i);
            return;
        }
    }
}

void RtlComboBox::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    const bool command = modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);

    if (key == Qt::Key_Backspace && !command) {
        // The user's way of reloading the chosen course: a change even
        // when the selection stays.
        m_prefix.clear();
        m_sinceLastChar.invalidate();
        event->accept();
        emit changedByUser();
        return;
    }

    // Qt's keyboard search goes on from the current item and cycles through items
    // with the same first letter; here a prefix always selects the first item it begins.
    const QString text = event->text();
    const bool typing = !command && !text.isEmpty() && text.at(0).isPrint();
    const bool prefixGoing = m_sinceLastChar.isValid() && m_sinceLastChar.elapsed() < TypeAheadIntervalMs;
    if (typing && (key != Qt::Key_Space || prefixGoing)) {
        typeAhead(text);
        event->accept();
        return;
    }

    // The arrow keys, Home and End move through the items as Qt's list does (reported
    // through activated()), the others open or leave it; Left and Right step as Up
    // and Down do on this one-line field.
    m_itemAtPopup = QPersistentModelIndex(model()->index(currentIndex(), modelColumn(), rootModelIndex()));
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
        QKeyEvent step(event->type(), key == Qt::Key_Left ? Qt::Key_Up : Qt::Key_Down, event->modifiers());
        QComboBox::keyPressEvent(&step);
        event->setAccepted(step.isAccepted());
        return;
    }
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_F4:
    case Qt::Key_Space:
    case Qt::Key_Enter:
    case Qt::Key_Return:
    case Qt::Key_Escape:
    case Qt::Key_Select:
        QComboBox::keyPressEvent(event);
        return;
    default:
        // Qt would search with any other text (a control character included).
        event->ignore();
        return;
    }
}

void RtlComboBox::inputMethodEvent(QInputMethodEvent *event)
{
    if (event->commitString().isEmpty()) {
        event->ignore();
        return;
    }
    typeAhead(event->commitString());
    event->accept();
}

void RtlComboBox::wheelEvent(QWheelEvent *event)
{
    // The wheel over the closed list never changes the selection: that would
    // either reload lessons unasked or change the list without its event.
    event->ignore();
}

void RtlComboBox::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    const QString text = opt.currentText;
    opt.currentText.clear();
    opt.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, opt);

    const QRect field
        = style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
    QColor pen = m_textColor;
    if (!isEnabled()) {
        pen = palette().color(QPalette::Disabled, QPalette::Text);
    } else if (hasFocus()) {
        const QPalette platform = platformPalette();
        painter.fillRect(field, platform.color(QPalette::Active, QPalette::Highlight));
        pen = platform.color(QPalette::Active, QPalette::HighlightedText);
    }
    painter.setPen(pen);
    painter.setLayoutDirection(layoutDirection());
    const QRect textRect = field.adjusted(TextMargin, 0, -TextMargin, 0);
    drawItemText(&painter, textRect, layoutDirection(), fontMetrics(), text);
}

void RtlComboBox::setCaptionLabel(QLabel *label)
{
    if (m_caption == label)
        return;
    if (m_caption)
        m_caption->removeEventFilter(this);
    m_caption = label;
    if (!m_caption)
        return;
    m_caption->adjustSize();
    m_caption->installEventFilter(this);
    placeCaption();
    syncCaptionState();
}

void RtlComboBox::placeCaption()
{
    if (!m_caption)
        return;
    QPoint topLeft = pos();
    QWidget *labelParent = m_caption->parentWidget();
    if (labelParent != parentWidget() && labelParent && parentWidget())
        topLeft = labelParent->mapFromGlobal(parentWidget()->mapToGlobal(topLeft));
    // Integer division truncates toward zero, also for a label taller than the field.
    m_caption->move(
        topLeft.x() + width() + CaptionSpacing, topLeft.y() + (height() - m_caption->height()) / 2);
}

void RtlComboBox::syncCaptionState()
{
    if (!m_caption)
        return;
    // Follow the field's own (explicit) state; a hidden or disabled parent
    // already covers the label as a sibling.
    m_caption->setHidden(isHidden());
    m_caption->setEnabled(!testAttribute(Qt::WA_ForceDisabled));
}

void RtlComboBox::setVisible(bool visible)
{
    QComboBox::setVisible(visible);
    syncCaptionState();
}

void RtlComboBox::moveEvent(QMoveEvent *event)
{
    QComboBox::moveEvent(event);
    placeCaption();
}

void RtlComboBox::resizeEvent(QResizeEvent *event)
{
    QComboBox::resizeEvent(event);
    placeCaption();
}

void RtlComboBox::changeEvent(QEvent *event)
{
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        syncCaptionState();
}

bool RtlComboBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_caption && event->type() == QEvent::Resize)
        placeCaption();
    return QComboBox::eventFilter(watched, event);
}

} // namespace orvy::ui
