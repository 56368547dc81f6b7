#include "ui/widgets/sidepanel.h"

#include <algorithm>

namespace orvy::ui {

SidePanel::SidePanel(QWidget *parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette own = palette();
    own.setColor(QPalette::Window, Qt::black);
    setPalette(own);
    resize(m_fullWidth, height());

    m_timer.setInterval(TickIntervalMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SidePanel::step);
}

bool SidePanel::isOpened() const
{
    return width() == m_fullWidth && m_targetWidth == m_fullWidth;
}

void SidePanel::setOpened(bool opened)
{
    m_targetWidth = opened ? m_fullWidth : 0;
    if (width() == m_targetWidth)
        m_timer.stop();
    else if (!m_timer.isActive())
        m_timer.start();
}

void SidePanel::setFullWidth(int width)
{
    width = std::max(0, width);
    const bool opening = m_targetWidth == m_fullWidth && m_targetWidth != 0;
    m_fullWidth = width;
    if (opening) {
        m_targetWidth = width;
        m_timer.stop();
        applyWidth(width);
    }
}

void SidePanel::step()
{
    const int current = width();
    const int next = current > m_targetWidth ? std::max(m_targetWidth, current - StepWidth)
                                             : std::min(m_targetWidth, current + StepWidth);
    if (next == m_targetWidth)
        m_timer.stop();
    applyWidth(next);
}

void SidePanel::applyWidth(int width)
{
    if (width == this->width())
        return;
    const QRect old = geometry();
    // x + width is the exclusive right edge; it stays where it was.
    setGeometry(old.x() + old.width() - width, old.y(), width, old.height());
    // Resize events wait while the panel is hidden; the content follows now.
    if (m_content) {
        m_content->setGeometry(rect());
        // Closed, the content is out of reach: the keyboard focus and screen readers skip it.
        m_content->setVisible(width > 0);
    }
    emit widthStepped(width);
}

void SidePanel::setContent(QWidget *content)
{
    m_content = content;
    if (m_content) {
        if (m_content->parentWidget() != this)
            m_content->setParent(this);
        m_content->setGeometry(rect());
        m_content->setVisible(width() > 0);
    }
}

void SidePanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_content)
        m_content->setGeometry(rect());
}

} // namespace orvy::ui
