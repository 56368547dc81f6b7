#include "ui/browser/windowsurface.h"

#include <QBackingStore>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <QtGui/qtguiglobal.h>

#if QT_CONFIG(opengl)
#include <QOpenGLContext>
#include <QtGui/qopenglcontext_platform.h>
#include <qpa/qplatformbackingstore.h>
#endif

namespace orvy::ui::browser {

bool prepareWindowForView(QWidget *widget)
{
#if QT_CONFIG(opengl) && QT_CONFIG(xcb_glx_plugin)
    QWidget *top = widget->window();
    QWindow *window = top->windowHandle();
    // A window not made yet is made for the view when it is shown.
    if (!window || !window->handle())
        return true;
    if (window->surfaceType() == QSurface::OpenGLSurface)
        return true;
    // The toolkit keeps a window whose surface is of the kind the view needs, and then
    // composes it through the graphics device of the window's backing store. Both can be
    // given to a window on the screen: the kind of surface is only a mark on it, and an
    // X window takes an OpenGL (GLX) context as long as its visual suits the context.
    // Where that cannot be checked (other platforms, OpenGL through EGL), leave it.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    QBackingStore *store = top->backingStore();
    if (!store || !store->handle() || store->handle()->rhi())
        return false;

    window->setSurfaceType(QSurface::OpenGLSurface);
    QOpenGLContext probe;
    probe.setFormat(window->format());
    bool ready = probe.create() && probe.nativeInterface<QNativeInterface::QGLXContext>()
        && probe.makeCurrent(window);
    if (ready) {
        probe.doneCurrent();
        store->handle()->setRhiConfig(QPlatformBackingStoreRhiConfig(QPlatformBackingStoreRhiConfig::OpenGL));
        ready = store->handle()->rhi() != nullptr;
    }
    if (!ready)
        window->setSurfaceType(QSurface::RasterSurface);
    return ready;
#else
    Q_UNUSED(widget);
    return false;
#endif
}

} // namespace orvy::ui::browser
