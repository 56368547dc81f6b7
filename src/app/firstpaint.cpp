#include "app/firstpaint.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace orvy::app {

namespace {

// Widgets paint inside the handling of their native window's expose, and the
// backing store is flushed there too: what is posted from the expose runs after both.
class FirstExposeWatch : public QObject {
public:
    FirstExposeWatch(QWindow *window, std::function<void()> work)
        : QObject(window)
        , m_work(std::move(work))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                const auto work = std::move(m_work);
                deleteLater();
                work();
            });
        }
        return false;
    }

private:
    std::function<void()> m_work;
};

} // namespace

void afterFirstPaint(QWidget *window, std::function<void()> work)
{
    // The native window, made now if the widget has not been shown yet.
    window->winId();
    QWindow *handle = window->windowHandle();
    if (handle->isExposed())
        work();
    else
        new FirstExposeWatch(handle, std::move(work));
}

} // namespace orvy::app
