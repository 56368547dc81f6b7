// The floors of a play: a bare maximized window and a bare QWebEngineView that plays
// the program's player page on "play <url> [blank]" ("-": no link). Built twice:
//   bench_floor_view      linked with the engine, the view made at the first play
//   bench_floor_lateview  the engine loaded at the first play from a plug-in, as the
//                         program does (the shared OpenGL context the engine needs is
//                         made just before)
#include "../probe/probe.h"

#include <QApplication>
#include <QWidget>

#ifdef FLOOR_LATEVIEW
#include "lateview.h"

#include <QCoreApplication>
#include <QOpenGLContext>
#include <QPluginLoader>
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);
#else
#include "player/playerpage.h"

#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#endif

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    QWidget window;
    window.setObjectName(QStringLiteral("floorWindow"));
    window.setWindowTitle(QStringLiteral("floor"));
    QPalette dark = window.palette();
    dark.setColor(QPalette::Window, Qt::black);
    window.setPalette(dark);
    window.setAutoFillBackground(true);

#ifdef FLOOR_LATEVIEW
    LateView *late = nullptr;
    QWidget *lateView = nullptr;
    orvy::bench::setCommandHandler([&](const QStringList &command) {
        if (command.size() < 2 || command[0] != u"play")
            return false;
        const qint64 t0 = orvy::bench::monotonicNs();
        const QString url = command[1] == u"-" ? QString() : command[1];
        if (!late) {
            // What the engine's start-up hook makes when it is linked in.
            auto *share = new QOpenGLContext(&app);
            share->setFormat(QSurfaceFormat::defaultFormat());
            share->create();
            qt_gl_set_global_share_context(share);
            QPluginLoader loader(
                QCoreApplication::applicationDirPath() + QStringLiteral("/libbench_lateview.so"));
            late = qobject_cast<LateView *>(loader.instance());
            if (!late) {
                orvy::bench::report("fail play " + loader.errorString().toUtf8());
                return true;
            }
            lateView = late->createView(&window);
            lateView->setGeometry(window.rect().adjusted(0, 50, -165, 0));
        }
        late->play(lateView, url);
        orvy::bench::reportAfterVideoFrame("play", t0, command.size() == 2);
        return true;
    });
#else
    QWebEngineView *view = nullptr;
    orvy::bench::setCommandHandler([&](const QStringList &command) {
        if (command.size() < 2 || command[0] != u"play")
            return false;
        const qint64 t0 = orvy::bench::monotonicNs();
        const QString url = command[1] == u"-" ? QString() : command[1];
        if (!view) {
            view = new QWebEngineView(&window);
            view->page()->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
            view->setGeometry(window.rect().adjusted(0, 50, -165, 0));
            view->show();
        }
        view->setHtml(orvy::player::buildPlayerPage(url));
        orvy::bench::reportAfterVideoFrame("play", t0, command.size() == 2);
        return true;
    });
#endif

    window.showMaximized();
    return QApplication::exec();
}
