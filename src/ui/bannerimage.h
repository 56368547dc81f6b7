#pragma once

#include <QImage>
#include <QWidget>

namespace orvy::ui {

// The welcome banner: the picture at its own size, centred; a larger one is cut
// evenly, a smaller one leaves the parent's background around it.
class BannerImage : public QWidget {
    Q_OBJECT

public:
    explicit BannerImage(QWidget *parent = nullptr);

    void setPicture(const QImage &picture);
    const QImage &picture() const { return m_picture; }

    // Where the picture's top-left corner lands for a strip of the given size; an odd
    // leftover pixel goes to the right or bottom.
    static QPoint pictureOrigin(const QSize &strip, const QSize &picture);

    // The most of a picture the strip can ever show: the size of the whole desktop, all
    // screens together, so no window size or move to another screen can show more.
    // Empty when there is no screen.
    static QSize largestStrip();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
};

} // namespace orvy::ui
