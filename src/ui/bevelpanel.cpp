#include "ui/bevelpanel.h"

#include <QPainter>

namespace orvy::ui {

BevelPanel::BevelPanel(QWidget *parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
}

void BevelPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(bevelColor());
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void BevelPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Q_EMIT resized();
}

} // namespace orvy::ui
