// The main window as a window manager sees it (openbox on the test's own X server):
// shown maximized as the program shows it, it stays maximized on the same work area
// through the first play, every full-screen round, and a minimise and restore. With
// its border it is exactly as at start; without it, it covers the work area. The first
// play leaves the rest of the window on the screen untouched, and the manager's
// restore brings back the window's normal size and place after any of it. In full
// screen the page follows the view to its new size, and what it drew at the old size
// is not shown meanwhile.
#include "formfixture.h"
#include "tmpdir.h"
#include "ui/browser/edgebrowser.h"
#include "ui/tform1.h"
#include "ui/widgets/lessonlist.h"
#include "ui/widgets/rtlcombobox.h"
#include "ui/widgets/sidepanel.h"
#include "webutil.h"

#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWindow>
#include <atomic>
#include <cstring>
#include <optional>
#include <thread>
#include <xcb/xcb.h>

using orvy::test::FormFixture;
using orvy::test::MessageBoxCatcher;
using orvy::test::runJavaScriptSync;
using orvy::test::waitForJavaScript;
using orvy::ui::TForm1;

// Runs one step of a test and stops the test at its first failure.
#define STEP(step)                                                                                           \
    do {                                                                                                     \
        step;                                                                                                \
        if (QTest::currentTestFailed())                                                                      \
            return;                                                                                          \
    } while (false)

namespace {

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(5000))
        return QString();
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The window manager's state flags of a native window (_NET_WM_STATE), without their
// common prefix, sorted: "MAXIMIZED_HORZ MAXIMIZED_VERT".
QString netWmState(WId window)
{
    const QString out = run(QStringLiteral("xprop"),
        { QStringLiteral("-id"), QString::number(window), QStringLiteral("_NET_WM_STATE") });
    const qsizetype equals = out.indexOf(u'=');
    if (equals < 0)
        return QString();
    QStringList flags = out.mid(equals + 1).split(u',', Qt::SkipEmptyParts);
    for (QString &flag : flags)
        flag = flag.trimmed().remove(QStringLiteral("_NET_WM_STATE_"));
    flags.sort();
    return flags.join(u' ');
}

// Where the X server has the window's client area, on the screen.
QRect xClientGeometry(WId window)
{
    const QString out = run(QStringLiteral("xwininfo"), { QStringLiteral("-id"), QString::number(window) });
    const auto field = [&out](const char *name) {
        const QRegularExpression re(QStringLiteral("%1:\\s+(-?\\d+)").arg(QLatin1String(name)));
        return re.match(out).captured(1).toInt();
    };
    return { field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
        field("Height") };
}

QString text(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// The window manager's frame around a client area on the screen (_NET_FRAME_EXTENTS:
// left, right, top, bottom). Qt keeps its own copy of the frame's margins, which may
// lag behind after the manager restores and maximizes the window.
QRect xFrameGeometry(WId window, const QRect &client)
{
    const QString out = run(QStringLiteral("xprop"),
        { QStringLiteral("-id"), QString::number(window), QStringLiteral("_NET_FRAME_EXTENTS") });
    const qsizetype equals = out.indexOf(u'=');
    const QStringList extents = equals < 0 ? QStringList() : out.mid(equals + 1).split(u',');
    if (extents.size() != 4)
        return {};
    return client.adjusted(-extents[0].trimmed().toInt(), -extents[2].trimmed().toInt(),
        extents[1].trimmed().toInt(), extents[3].trimmed().toInt());
}

// One line with all that is compared, so a failure shows every difference at once.
QString look(const QWidget *window)
{
    QString state;
    const Qt::WindowStates s = window->windowState();
    if (s & Qt::WindowMinimized)
        state += QStringLiteral("minimized ");
    if (s & Qt::WindowMaximized)
        state += QStringLiteral("maximized ");
    if (s & Qt::WindowFullScreen)
        state += QStringLiteral("fullscreen ");
    const WId id = window->internalWinId();
    const QRect xClient = xClientGeometry(id);
    return QStringLiteral("state: %1| _NET_WM_STATE: %2 | frame %3 | client %4 | X client %5")
        .arg(state, netWmState(id), text(xFrameGeometry(id, xClient)), text(window->geometry()),
            text(xClient));
}

QString lookWithFrame(const QRect &client, const QRect &workArea)
{
    return QStringLiteral("state: maximized | _NET_WM_STATE: MAXIMIZED_HORZ MAXIMIZED_VERT | frame %1 | "
                          "client %2 | X client %2")
        .arg(text(workArea), text(client));
}

QString lookWithoutFrame(const QRect &workArea)
{
    return lookWithFrame(workArea, workArea);
}

xcb_window_t rootOf(xcb_connection_t *connection)
{
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return result;
}

// Asks the window manager to add or drop a window's maximized state, as the title bar's
// double click and the maximize and restore buttons do (a _NET_WM_STATE message to the
// root window).
bool askToMaximize(WId window, bool maximize)
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(window);
    message.type = atom(connection, "_NET_WM_STATE");
    message.data.data32[0] = maximize ? 1 : 0; // _NET_WM_STATE_ADD or _REMOVE
    message.data.data32[1] = atom(connection, "_NET_WM_STATE_MAXIMIZED_VERT");
    message.data.data32[2] = atom(connection, "_NET_WM_STATE_MAXIMIZED_HORZ");
    message.data.data32[3] = 1; // from an application, as a task bar or pager is
    xcb_send_event(connection, 0, rootOf(connection),
        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
        reinterpret_cast<const char *>(&message));
    // A round trip: the server has handled the message before the connection closes.
    xcb_get_input_focus_reply_t *reply
        = xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    const bool sent = reply != nullptr;
    free(reply);
    xcb_disconnect(connection);
    return sent;
}

std::optional<quint32> pixelAt(xcb_connection_t *connection, xcb_window_t root, QPoint p)
{
    xcb_get_image_reply_t *image = xcb_get_image_reply(connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, root, int16_t(p.x()), int16_t(p.y()), 1, 1, ~0u),
        nullptr);
    if (!image)
        return std::nullopt;
    quint32 pixel = 0;
    memcpy(&pixel, xcb_get_image_data(image),
        std::min<size_t>(sizeof pixel, size_t(xcb_get_image_data_length(image))));
    free(image);
    return pixel;
}

QString colourName(quint32 pixel)
{
    return QStringLiteral("#%1").arg(pixel & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

// What the screen shows at one point now, as #rrggbb.
QString screenColour(QPoint p)
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    std::optional<quint32> pixel;
    if (!xcb_connection_has_error(connection))
        pixel = pixelAt(connection, rootOf(connection), p);
    xcb_disconnect(connection);
    return pixel ? colourName(*pixel) : QString();
}

// What the screen shows at given points, read every few milliseconds on a connection
// and a thread of its own, so that a window that vanishes while the program is busy
// is seen as well.
class ScreenSampler {
public:
    explicit ScreenSampler(const QList<QPoint> &points)
        : m_points(points)
        , m_connection(xcb_connect(nullptr, nullptr))
    {
        m_thread = std::thread([this] { run(); });
    }
    ~ScreenSampler() { stop(); }

    // Stops sampling; then, per point, the samples that differed from the first one.
    QList<int> stop()
    {
        m_running = false;
        if (m_thread.joinable())
            m_thread.join();
        if (m_connection) {
            xcb_disconnect(m_connection);
            m_connection = nullptr;
        }
        return m_changed;
    }
    int samples() const { return m_samples; }
    // Every value seen at each point, in the order first seen, as #rrggbb.
    QStringList seen() const
    {
        QStringList out;
        for (const QList<quint32> &values : m_seen) {
            QStringList colours;
            for (quint32 v : values)
                colours << colourName(v);
            out << colours.join(u' ');
        }
        return out;
    }

private:
    void run()
    {
        m_changed = QList<int>(m_points.size(), 0);
        m_seen = QList<QList<quint32>>(m_points.size());
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_window_t root = rootOf(m_connection);
        QList<quint32> first;
        while (m_running) {
            for (qsizetype i = 0; i < m_points.size(); ++i) {
                const QPoint p = m_points.at(i);
                const std::optional<quint32> read = pixelAt(m_connection, root, p);
                if (!read)
                    continue;
                const quint32 pixel = *read;
                if (first.size() <= i)
                    first << pixel;
                else if (pixel != first.at(i))
                    ++m_changed[i];
                if (!m_seen[i].contains(pixel))
                    m_seen[i] << pixel;
            }
            ++m_samples;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    const QList<QPoint> m_points;
    xcb_connection_t *m_connection;
    std::atomic<bool> m_running { true };
    std::atomic<int> m_samples { 0 };
    QList<int> m_changed;
    QList<QList<quint32>> m_seen;
    std::thread m_thread;
};

} // namespace

class TestWindowManager : public QObject {
    Q_OBJECT

private:
    FormFixture m_fixture;
    std::unique_ptr<TForm1> m_form;
    QString m_clipUrl;
    QRect m_workArea;
    QRect m_client; // client area at start

    QWebEnginePage *page() const { return m_form->EdgeBrowser1->page(); }
    QWidget *input() const
    {
        QWebEngineView *view = m_form->EdgeBrowser1->view();
        return view ? view->focusProxy() : nullptr;
    }
    QVariant js(const QString &script) const { return runJavaScriptSync(page(), script); }

    void play(int row)
    {
        orvy::test::doubleClickLesson(*m_form, row);
        QVERIFY(m_form->EdgeBrowser1->isCreated());
        QVERIFY(waitForJavaScript(page(),
            QStringLiteral("document.getElementById('vid') && "
                           "document.getElementById('vid').currentSrc.endsWith('?lesson=%1') && "
                           "document.getElementById('vid').currentTime > 0.3")
                .arg(row + 1),
            20000));
    }

    // A real click on a button of the page, as the video's own full-screen button.
    void enterFullScreen()
    {
        QSignalSpy changes(m_form->EdgeBrowser1, &orvy::ui::EdgeBrowser::containsFullScreenElementChanged);
        // The player takes the whole width at once, while the side panel closes under it.
        QString widths;
        const QMetaObject::Connection seen = connect(m_form->EdgeBrowser1,
            &orvy::ui::EdgeBrowser::containsFullScreenElementChanged, this, [this, &widths] {
                widths = QStringLiteral("player %1 of %2").arg(m_form->Panel1->width()).arg(m_form->width());
            });
        const QPoint button = orvy::test::addFullScreenButton(page());
        QVERIFY(button.x() >= 0);
        QTRY_VERIFY(input());
        QTest::mouseClick(input(), Qt::LeftButton, {}, button);
        QTRY_COMPARE(changes.size(), 1);
        disconnect(seen);
        QCOMPARE(m_form->Tag, 1);
        QCOMPARE(widths, QStringLiteral("player %1 of %1").arg(m_form->width()));
    }

    // Escape, typed where the user types: the window must have kept the keyboard.
    void leaveFullScreen()
    {
        QSignalSpy changes(m_form->EdgeBrowser1, &orvy::ui::EdgeBrowser::containsFullScreenElementChanged);
        keyboardStaysWithThePlayer();
        QTest::keyClick(m_form->windowHandle(), Qt::Key_Escape);
        QTRY_COMPARE(changes.size(), 1);
        QCOMPARE(m_form->Tag, 0);
        // The player lies in its place again, under the toolbar and the side panel.
        const QObjectList children = m_form->children();
        QVERIFY(children.indexOf(m_form->Panel1) < children.indexOf(m_form->pnlToolbar));
        QVERIFY(children.indexOf(m_form->Panel1) < children.indexOf(m_form->SV));
    }

    void keyboardStaysWithThePlayer()
    {
        QTRY_VERIFY(m_form->isActiveWindow());
        QTRY_VERIFY(input() && input()->hasFocus());
    }

    // In full screen, once settled.
    void verifyPageAtTheViewsSize()
    {
        const QWidget *view = m_form->EdgeBrowser1->view();
        // A loaded machine may take seconds to draw the page at its new size.
        QTRY_COMPARE_WITH_TIMEOUT(
            js(QStringLiteral("innerWidth + 'x' + innerHeight + (document.fullscreenElement ? ' full screen' : '')"))
                .toString(),
            QStringLiteral("%1x%2 full screen").arg(view->width()).arg(view->height()), 20000);
    }

    void verifyWithFrame()
    {
        QTRY_COMPARE_WITH_TIMEOUT(look(m_form.get()), lookWithFrame(m_client, m_workArea), 10000);
    }
    void verifyWithoutFrame()
    {
        QTRY_COMPARE_WITH_TIMEOUT(look(m_form.get()), lookWithoutFrame(m_workArea), 10000);
    }

    // As the user minimises it: through the window manager; then, as a task bar restores
    // it, the manager is asked to activate it.
    void minimise()
    {
        QCOMPARE(run(QStringLiteral("xdotool"),
                     { QStringLiteral("windowminimize"), QString::number(m_form->internalWinId()) }),
            QString());
        QTRY_VERIFY(m_form->windowState() & Qt::WindowMinimized);
        QTRY_COMPARE(
            netWmState(m_form->internalWinId()).split(u' ').contains(QStringLiteral("HIDDEN")), true);
        // Off the screen for the program too, before the user brings it back.
        QTRY_VERIFY(!m_form->windowHandle()->isExposed());
    }
    void bringBack()
    {
        QCOMPARE(run(QStringLiteral("xdotool"),
                     { QStringLiteral("windowactivate"), QString::number(m_form->internalWinId()) }),
            QString());
        QTRY_VERIFY(!(m_form->windowState() & Qt::WindowMinimized));
    }

    // Has the manager restore the window; where its client area then is, on the screen.
    void restore(QRect *client)
    {
        QVERIFY(askToMaximize(m_form->internalWinId(), false));
        QTRY_VERIFY_WITH_TIMEOUT(!(m_form->windowState() & Qt::WindowMaximized), 10000);
        QTRY_VERIFY(netWmState(m_form->internalWinId()).isEmpty());
        // Settled: the toolkit and the X server agree.
        QTRY_COMPARE(xClientGeometry(m_form->internalWinId()), m_form->geometry());
        *client = m_form->geometry();
    }
    void maximizeAgain()
    {
        QVERIFY(askToMaximize(m_form->internalWinId(), true));
        QTRY_VERIFY_WITH_TIMEOUT(m_form->windowState() & Qt::WindowMaximized, 10000);
        verifyWithFrame();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "needs an X server");
        QVERIFY2(!run(QStringLiteral("xprop"),
                     { QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK") })
                      .contains(QStringLiteral("not found")),
            "needs a window manager (xsession.sh --wm)");
        QString error;
        QVERIFY2(m_fixture.start(&error), qPrintable(error));
        m_clipUrl = m_fixture.serveLessonClip(&error);
        QVERIFY2(!m_clipUrl.isEmpty(), qPrintable(error));
        m_fixture.seedCatalogue();
        m_fixture.sql(
            QStringLiteral("UPDATE lessons SET LLink = CONCAT(%1, '?lesson=', LSORT) WHERE cID = 10")
                .arg(orvy::test::MariaDbServer::quoted(m_clipUrl)));
    }

    void init()
    {
        MessageBoxCatcher boxes;
        // As the program's entry shows it.
        m_form = std::make_unique<TForm1>(m_fixture.settings());
        m_form->showMaximized();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        QVERIFY(boxes.seen().isEmpty());
        m_workArea = m_form->screen()->availableGeometry();

        // At start: maximized on the work area, the frame's title bar above the client.
        QTRY_COMPARE_WITH_TIMEOUT(m_form->frameGeometry(), m_workArea, 10000);
        m_client = m_form->geometry();
        QVERIFY2(
            m_client.top() > m_workArea.top() && m_workArea.contains(m_client), qPrintable(text(m_client)));
        QCOMPARE(m_client.width(), m_workArea.width());
        verifyWithFrame();

        orvy::test::chooseFirstCourse(*m_form);
        QCOMPARE(m_form->ListBox1->count(), 3);
    }

    void cleanup() { m_form.reset(); }

    // Entering full screen, the page follows the view to its new size: the video is not
    // left drawn at its old size in a corner of the borderless window.
    void pageFollowsTheViewIntoFullScreen()
    {
        STEP(play(0));
        STEP(enterFullScreen());
        STEP(verifyPageAtTheViewsSize());
        STEP(leaveFullScreen());
        STEP(verifyWithFrame());
    }

    // Meanwhile, the window is without its frame and chrome at once, while the page takes
    // a while to draw itself at the new size (seconds on a large screen without a graphics
    // card). What it drew at the old size, the video in the top left corner with its
    // button still showing "enter", is never on the screen.
    void theOldPictureIsNotShownInFullScreen()
    {
        STEP(play(0));
        const QPoint button = orvy::test::addFullScreenButton(page());
        QVERIFY(button.x() >= 0);
        // Off the button's text, near its top left corner.
        const QPoint plain = button - QPoint(30, 12);
        // A colour found nowhere else on the screen.
        const QString buttonColour = QStringLiteral("#01fe7f");
        QVERIFY(js(QStringLiteral("document.getElementById('fs').style.background = '%1'; true").arg(buttonColour))
                    .toBool());
        QTRY_COMPARE(screenColour(m_form->EdgeBrowser1->mapToGlobal(plain)), buttonColour);
        // Where the old picture would show the button once the window is without its frame.
        const QPoint stale = m_workArea.topLeft() + m_form->EdgeBrowser1->pos() + plain;
        ScreenSampler sampler({ stale });
        QTRY_VERIFY(input());
        QTest::mouseClick(input(), Qt::LeftButton, {}, button);
        STEP(verifyPageAtTheViewsSize());
        STEP(verifyWithoutFrame());
        // The page's frame at its new size is on the screen.
        QTest::qWait(500);
        sampler.stop();
        QVERIFY2(!sampler.seen().value(0).contains(buttonColour),
            qPrintable(QStringLiteral("seen at %1,%2: %3").arg(stale.x()).arg(stale.y()).arg(sampler.seen().value(0))));
        STEP(leaveFullScreen());
        STEP(verifyWithFrame());
    }

    void staysMaximizedThroughPlaysAndFullScreen()
    {
        STEP(play(0));
        STEP(verifyWithFrame());

        STEP(enterFullScreen());
        STEP(verifyWithoutFrame());
        STEP(leaveFullScreen());
        STEP(verifyWithFrame());

        // Another lesson, then two rounds in a row.
        STEP(play(1));
        STEP(verifyWithFrame());
        for (int round = 0; round < 2; ++round) {
            STEP(enterFullScreen());
            STEP(verifyWithoutFrame());
            STEP(leaveFullScreen());
            STEP(verifyWithFrame());
        }
        STEP(keyboardStaysWithThePlayer());
    }

    // Nothing but the player area changes on the screen from the double click to the
    // running video: the side panel and the window manager's title bar stay as they are,
    // on the same native window (re-creating it would unmap the window for a moment).
    void theFirstPlayLeavesTheRestOfTheWindowAlone()
    {
        const WId native = m_form->internalWinId();
        // The side panel below its course caption, where nothing is drawn, and the title
        // bar between its left edge and the title, away from text and buttons.
        const QPoint sidePanel = m_form->Label2->mapToGlobal(QPoint(8, m_form->Label2->height() / 2));
        const QRect frame = m_form->frameGeometry();
        const QPoint titleBar(frame.left() + frame.width() / 4, (frame.top() + m_client.top()) / 2);
        QTest::qWait(300); // the list's paint after the course choice is done
        ScreenSampler sampler({ sidePanel, titleBar });
        STEP(play(0));
        QTest::qWait(300);
        const QList<int> changed = sampler.stop();
        QVERIFY2(sampler.samples() > 100, qPrintable(QString::number(sampler.samples())));
        QVERIFY2(changed == QList<int>({ 0, 0 }),
            qPrintable(
                QStringLiteral("%1 of %2 samples changed at the side panel (%3), %4 at the title bar (%5)")
                    .arg(changed.value(0))
                    .arg(sampler.samples())
                    .arg(sampler.seen().value(0))
                    .arg(changed.value(1))
                    .arg(sampler.seen().value(1))));
        QCOMPARE(m_form->internalWinId(), native);
        STEP(verifyWithFrame());
    }

    // The manager's restore brings the window back to its normal size (the design size)
    // and place, whatever happened to it while it was maximized.
    void restoreBringsBackTheNormalGeometry_data()
    {
        QTest::addColumn<bool>("fullScreen");
        QTest::addColumn<bool>("minimiseInFullScreen");
        QTest::newRow("after the first play") << false << false;
        QTest::newRow("after a full-screen round") << true << false;
        QTest::newRow("after a minimise in full screen") << true << true;
    }
    void restoreBringsBackTheNormalGeometry()
    {
        QFETCH(bool, fullScreen);
        QFETCH(bool, minimiseInFullScreen);
        QRect normal;
        STEP(restore(&normal));
        QCOMPARE(normal.size(), QSize(TForm1::designWidth, TForm1::designHeight));
        QVERIFY2(m_workArea.contains(normal), qPrintable(text(normal)));
        STEP(maximizeAgain());

        STEP(play(0));
        STEP(verifyWithFrame());
        if (fullScreen) {
            STEP(enterFullScreen());
            STEP(verifyWithoutFrame());
            if (minimiseInFullScreen) {
                STEP(minimise());
                STEP(bringBack());
                STEP(verifyWithoutFrame());
            }
            STEP(leaveFullScreen());
            STEP(verifyWithFrame());
        }
        QRect again;
        STEP(restore(&again));
        QCOMPARE(again, normal);
        STEP(maximizeAgain());
        QTRY_VERIFY(m_form->isActiveWindow());
    }

    void minimiseAndRestore_data()
    {
        QTest::addColumn<bool>("fullScreen");
        QTest::newRow("with frame") << false;
        QTest::newRow("in full screen") << true;
    }
    // Minimised, the window shows nothing: the view is hidden and the page is told so.
    // Restored, the same page shows again, not loaded anew, its video where it was or
    // further on.
    void minimiseAndRestore()
    {
        QFETCH(bool, fullScreen);
        STEP(play(0));
        if (fullScreen)
            STEP(enterFullScreen());
        QWebEngineView *view = m_form->EdgeBrowser1->view();
        QVERIFY(js(QStringLiteral("window.marker = 42; true")).toBool());
        const QString time = QStringLiteral("document.getElementById('vid').currentTime");
        const double before = js(time).toDouble();

        STEP(minimise());
        QTRY_VERIFY(!view->isVisible());
        QTRY_COMPARE(js(QStringLiteral("document.visibilityState")).toString(), QStringLiteral("hidden"));

        STEP(bringBack());
        if (fullScreen)
            STEP(verifyWithoutFrame());
        else
            STEP(verifyWithFrame());
        QTRY_VERIFY(view->isVisible());
        QTRY_COMPARE(js(QStringLiteral("document.visibilityState")).toString(), QStringLiteral("visible"));
        QCOMPARE(m_form->EdgeBrowser1->view(), view);
        QCOMPARE(js(QStringLiteral("window.marker")).toInt(), 42);
        QVERIFY(js(QStringLiteral("document.getElementById('vid').currentSrc"))
                    .toString()
                    .endsWith(u"?lesson=1"));
        const double after = js(time).toDouble();
        QVERIFY2(after >= before, qPrintable(QStringLiteral("%1 before, %2 after").arg(before).arg(after)));
        if (fullScreen) {
            // The keyboard is back with the player: Escape leaves full screen.
            STEP(leaveFullScreen());
            STEP(verifyWithFrame());
        }
    }
};

QTEST_MAIN(TestWindowManager)
#include "tst_windowmanager.moc"
