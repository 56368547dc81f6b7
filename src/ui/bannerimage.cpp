#include "ui/bannerimage.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace orvy::ui {

BannerImage::BannerImage(QWidget *parent)
    : QWidget(parent)
{
}

void BannerImage::setPicture(const QImage &picture)
{
    m_picture = picture;
    update();
}

QPoint BannerImage::pictureOrigin(const QSize &strip, const QSize &picture)
{
    // Halving toward zero puts the odd pixel of a smaller picture's margin on the right or
    // bottom, and cuts the odd pixel of a larger picture there too.
    return { (strip.width() - picture.width()) / 2, (strip.height() - picture.height()) / 2 };
}

QSize BannerImage::largestStrip()
{
    QRect desktop;
    for (const QScreen *screen : QGuiApplication::screens())
        desktop |= screen->geometry();
    return desktop.size();
}

void BannerImage::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(pictureOrigin(size(), m_picture.size()), m_picture);
}

} // namespace orvy::ui
