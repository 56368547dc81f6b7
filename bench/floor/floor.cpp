// The floors the program is measured against: the least a program of its kind
// needs for the same step. Built three times:
//   bench_floor_bare    a bare Qt Widgets window
//   bench_floor_engine  the same, linked with Qt WebEngine (its library loaded
//                       and initialised at start, as a program linked with it)
//   bench_floor_view    the same with a bare QWebEngineView that plays the
//                       program's player page on "play <url>"
//   bench_floor_lateview  the bare window that loads the engine only at the
//                       first "play <url>", from a plug-in, and then plays as
//                       bench_floor_view (the shared OpenGL context that the
//                       engine needs is made just before)
// Arguments: none (the bare window), "combo <n>" (a drop-down list of n items
// with uniform item sizes, named floorCombo), "list" (an empty list named
// floorList, filled by "fill <n>"). "play <url> [blank]" plays a link ("-": none).
#include "../probe/probe.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QWidget>

#ifdef FLOOR_ENGINE
#include <QWebEngineProfile>
#endif
#ifdef FLOOR_LATEVIEW
#include "lateview.h"

#include <QCoreApplication>
#include <QOpenGLContext>
#include <QPluginLoader>
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);
#endif
#ifdef FLOOR_VIEW
#include "player/playerpage.h"

#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#endif

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
#ifdef FLOOR_ENGINE
    // Keeps the engine's library linked in: a program that uses it has it loaded
    // and initialised (its start-up hook) before main's first line.
    static const QMetaObject *volatile keep = &QWebEngineProfile::staticMetaObject;
    Q_UNUSED(keep);
#endif

    QWidget window;
    window.setObjectName(QStringLiteral("floorWindow"));
    window.setWindowTitle(QStringLiteral("floor"));
    QPalette dark = window.palette();
    dark.setColor(QPalette::Window, Qt::black);
    window.setPalette(dark);
    window.setAutoFillBackground(true);

    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == u"combo") {
        auto *combo = new QComboBox(&window);
        combo->setObjectName(QStringLiteral("floorCombo"));
        combo->setGeometry(616, 11, 279, 28);
        QFont font(QStringLiteral("Segoe UI"));
        font.setPixelSize(15);
        font.setBold(true);
        combo->setFont(font);
        qobject_cast<QListView *>(combo->view())->setUniformItemSizes(true);
        const int n = args[2].toInt();
        QStringList items;
        items.reserve(n);
        for (int i = 0; i < n; ++i)
            items.append(QStringLiteral("کورسی ژمارە %1").arg(i + 1));
        combo->addItems(items);
    } else if (args.size() == 2 && args[1] == u"list") {
        auto *list = new QListWidget(&window);
        list->setObjectName(QStringLiteral("floorList"));
        list->setUniformItemSizes(true);
        list->setGeometry(900, 100, 159, 600);
        orvy::bench::setCommandHandler([list](const QStringList &command) {
            if (command.size() != 2 || command[0] != u"fill")
                return false;
            const qint64 t0 = orvy::bench::monotonicNs();
            orvy::bench::reportAfterPaint("fill", t0, list->viewport());
            list->clear();
            const int n = command[1].toInt();
            for (int i = 0; i < n; ++i)
                list->addItem(QStringLiteral("وانە-%1").arg(i + 1));
            return true;
        });
    }

#ifdef FLOOR_VIEW
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
#endif

    window.showMaximized();
    return QApplication::exec();
}
