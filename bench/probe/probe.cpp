#include "probe.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <ctime>
#include <memory>
#include <unistd.h>

// Commands read on stdin:
//   choose <combo> <index> <list>  pick an item as the user would; done when <list> has painted
//   popup <combo>                  open the drop-down; done when its list has painted
//   play <list> <row> [blank]      double-click a row; done at the video's first picture
//                                  (blank: once no video shows)
//   scroll <list>                  scroll to the last row; done when painted
//   type <list> <text>             type the text into the list; done when painted
//   quit                           close every window
namespace orvy::bench {

namespace {

constexpr int commandTimeLimitMs = 30000;
const QEvent::Type paintedEvent = QEvent::Type(QEvent::registerEventType());

QWidget *findWidget(const QString &name)
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->objectName() == name)
            return window;
        if (auto *found = window->findChild<QWidget *>(name))
            return found;
    }
    return nullptr;
}

QWidget *findWebView()
{
    const QList<QWidget *> widgets = QApplication::allWidgets();
    for (QWidget *widget : widgets) {
        if (widget->inherits("QWebEngineView") && widget->isVisible())
            return widget;
    }
    return nullptr;
}

// The test videos are colour bars and patterns: a row across the view's middle
// shows several saturated colours only once a frame is on the screen (a blank
// page, a black video or the player's grey controls show none).
bool showsVideoFrame(QWidget *view)
{
    const QPoint middle(view->width() / 2, view->height() / 2);
    QWidget *window = view->window();
    QWidget *top = window->childAt(view->mapTo(window, middle));
    if (top != view && !view->isAncestorOf(top))
        return false; // still covered (the welcome panel)
    const QPoint origin = view->mapToGlobal(QPoint(0, middle.y()));
    const QImage row = view->screen()->grabWindow(0, origin.x(), origin.y(), view->width(), 1).toImage();
    QSet<QRgb> colours;
    for (int x = 0; x < row.width(); x += 2) {
        const QColor c = QColor::fromRgb(row.pixel(x, 0));
        if (c.hsvSaturation() > 120 && c.value() > 80)
            colours.insert(qRgb(c.red() & 0xE0, c.green() & 0xE0, c.blue() & 0xE0));
        if (colours.size() >= 3)
            return true;
    }
    return false;
}

class Probe : public QObject {
public:
    Probe()
        : QObject(qApp)
    {
        qApp->installEventFilter(this);
        m_stdin = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(m_stdin, &QSocketNotifier::activated, this, &Probe::readCommands);
    }

    std::function<bool(const QStringList &)> handler;

    void afterPaint(const QByteArray &tag, qint64 t0, QWidget *widget)
    {
        // Owns the time limit: gone once the paint came.
        auto *watcher = new QObject(this);
        m_paintWatch.insert(widget, { tag, t0, watcher });
        QTimer::singleShot(commandTimeLimitMs, watcher, [this, tag, widget, watcher] {
            report("fail " + tag + " no paint");
            m_paintWatch.remove(widget);
            watcher->deleteLater();
        });
        widget->update();
    }

    void afterVideoFrame(const QByteArray &tag, qint64 t0, bool wantVideo)
    {
        auto *timer = new QTimer(this);
        timer->setTimerType(Qt::PreciseTimer);
        const qint64 deadline = t0 + qint64(commandTimeLimitMs) * 1000000;
        // The picture of an earlier play may still be there: the new page must have
        // shown without it first. (The benchmark plays a lesson without a video
        // between two timed plays, so that state is lasting.)
        auto sawNoVideo = std::make_shared<bool>(false);
        connect(timer, &QTimer::timeout, this, [tag, t0, timer, deadline, sawNoVideo, wantVideo] {
            QWidget *view = findWebView();
            const bool video = view && showsVideoFrame(view);
            if (!video)
                *sawNoVideo = true;
            if (wantVideo ? video && *sawNoVideo : !video) {
                report(
                    "done " + tag + ' ' + QByteArray::number(t0) + ' ' + QByteArray::number(monotonicNs()));
                timer->deleteLater();
            } else if (monotonicNs() > deadline) {
                report("fail " + tag + " no video frame");
                timer->deleteLater();
            }
        });
        timer->start(4);
    }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != paintedEvent)
            return QObject::event(event);
        timespec cpu {};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
        report("painted " + QByteArray::number(monotonicNs()) + ' ' + m_surface + ' '
            + QByteArray::number(qint64(cpu.tv_sec) * 1000000000 + cpu.tv_nsec));
        return true;
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || !watched->isWidgetType())
            return false;
        auto *widget = static_cast<QWidget *>(watched);
        // A window covered by its children gets no paint event of its own: the first
        // paint of anything inside it counts.
        QWidget *window = widget->window();
        if (!m_painted && window->windowType() == Qt::Window && window->windowHandle()
            && window->windowHandle()->isExposed()) {
            m_painted = true;
            // The kind of surface decides which caption floor is the program's.
            m_surface
                = window->windowHandle()->surfaceType() == QSurface::OpenGLSurface ? "opengl" : "raster";
            // The paint of the whole window and its flush to the screen end before the
            // event loop takes this, ahead of any work the program queued for later.
            QCoreApplication::postEvent(this, new QEvent(paintedEvent), Qt::HighEventPriority);
        }
        const auto watch = m_paintWatch.find(widget);
        if (watch != m_paintWatch.end()) {
            const Watch w = *watch;
            m_paintWatch.erase(watch);
            QTimer::singleShot(0, this, [w] {
                report("done " + w.tag + ' ' + QByteArray::number(w.t0) + ' '
                    + QByteArray::number(monotonicNs()));
                w.watcher->deleteLater();
            });
        }
        return false;
    }

private:
    struct Watch {
        QByteArray tag;
        qint64 t0;
        QObject *watcher;
    };

    void readCommands()
    {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            m_stdin->setEnabled(false);
            return;
        }
        m_pending.append(buffer, n);
        qsizetype end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(m_pending.left(end)).trimmed();
            m_pending.remove(0, end + 1);
            if (!line.isEmpty())
                run(line.split(u' ', Qt::SkipEmptyParts));
        }
    }

    void run(const QStringList &command)
    {
        if (handler && handler(command))
            return;
        const QString &verb = command.first();
        const QByteArray tag = verb.toUtf8();
        const qint64 t0 = monotonicNs();
        if (verb == u"quit") {
            QApplication::closeAllWindows();
            QCoreApplication::quit();
        } else if (verb == u"choose" && command.size() == 4) {
            auto *combo = qobject_cast<QComboBox *>(findWidget(command[1]));
            QWidget *list = findWidget(command[3]);
            if (!combo || !list)
                return report("fail " + tag + " no such widget");
            auto *view = qobject_cast<QAbstractItemView *>(list);
            afterPaint(tag, t0, view ? view->viewport() : list);
            // What a pick in the open list does: the index changes, then activated.
            const int index = command[2].toInt();
            combo->setCurrentIndex(index);
            Q_EMIT combo->activated(index);
        } else if (verb == u"popup" && command.size() == 2) {
            auto *combo = qobject_cast<QComboBox *>(findWidget(command[1]));
            if (!combo)
                return report("fail " + tag + " no such widget");
            afterPaint(tag, t0, combo->view()->viewport());
            combo->showPopup();
            QTimer::singleShot(200, combo, &QComboBox::hidePopup);
        } else if (verb == u"play" && (command.size() == 3 || command.size() == 4)) {
            auto *list = qobject_cast<QAbstractItemView *>(findWidget(command[1]));
            if (!list)
                return report("fail " + tag + " no such widget");
            const QModelIndex index = list->model()->index(command[2].toInt(), 0);
            list->setCurrentIndex(index);
            const QPoint at = list->visualRect(index).center();
            afterVideoFrame(tag, t0, command.size() == 3);
            // Posted, as the window system would: the play may wait in an event loop.
            QCoreApplication::postEvent(list->viewport(),
                new QMouseEvent(QEvent::MouseButtonDblClick, at, list->viewport()->mapToGlobal(at),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        } else if (verb == u"scroll" && command.size() == 2) {
            auto *list = qobject_cast<QAbstractItemView *>(findWidget(command[1]));
            if (!list)
                return report("fail " + tag + " no such widget");
            afterPaint(tag, t0, list->viewport());
            list->scrollToBottom();
        } else if (verb == u"type" && command.size() == 3) {
            auto *list = qobject_cast<QAbstractItemView *>(findWidget(command[1]));
            if (!list)
                return report("fail " + tag + " no such widget");
            afterPaint(tag, t0, list->viewport());
            for (const QChar c : command[2]) {
                QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
                QCoreApplication::sendEvent(list, &press);
            }
        } else {
            report("fail " + tag + " unknown command");
        }
    }

    QSocketNotifier *m_stdin = nullptr;
    QByteArray m_pending;
    bool m_painted = false;
    QByteArray m_surface;
    QHash<QWidget *, Watch> m_paintWatch;
};

Probe *probe = nullptr;

} // namespace

void installProbe()
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()))
        probe = new Probe;
}

qint64 monotonicNs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void report(const QByteArray &line)
{
    std::fprintf(stderr, "@bench %s\n", line.constData());
    std::fflush(stderr);
}

void setCommandHandler(std::function<bool(const QStringList &)> handler)
{
    if (probe)
        probe->handler = std::move(handler);
}

void reportAfterPaint(const QByteArray &tag, qint64 t0, QWidget *widget)
{
    if (probe)
        probe->afterPaint(tag, t0, widget);
}

void reportAfterVideoFrame(const QByteArray &tag, qint64 t0, bool video)
{
    if (probe)
        probe->afterVideoFrame(tag, t0, video);
}

} // namespace orvy::bench

namespace {
void startProbe()
{
    orvy::bench::installProbe();
}
} // namespace
Q_COREAPP_STARTUP_FUNCTION(startProbe)
