// The embedded browser with the real engine, under a private X server. Videos come
// from a local HTTP server; the profile goes to a test folder (XDG_DATA_HOME).
#include "httpserver.h"
#include "player/playerpage.h"
#include "testclip.h"
#include "tmpdir.h"
#include "ui/browser/edgebrowser.h"
#include "webutil.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <csignal>
#include <memory>

using orvy::test::HttpServer;
using orvy::test::runJavaScriptSync;
using orvy::test::waitForJavaScript;
using orvy::ui::EdgeBrowser;

namespace {

QString xdgRoot()
{
    return qEnvironmentVariable("ORVY_EDGEBROWSER_XDG");
}

// Files and folders under dir, relative, recursively.
QStringList entriesUnder(const QString &dir)
{
    QStringList names;
    const QDir root(dir);
    const QFileInfoList infos = root.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo &info : infos)
        names << info.fileName();
    return names;
}

// A JavaScript array literal holding text, quoted as JSON.
QString jsArray(const QString &text)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact));
}

} // namespace

class TestEdgeBrowser : public QObject {
    Q_OBJECT

private:
    QWidget *input() const
    {
        QWebEngineView *view = m_browser->view();
        return view ? view->focusProxy() : nullptr;
    }
    QWebEnginePage *page() const { return m_browser->page(); }
    QVariant js(const QString &script) const { return runJavaScriptSync(page(), script); }
    bool waitJs(const QString &expression, int timeoutMs = 15000) const
    {
        return waitForJavaScript(page(), expression, timeoutMs);
    }

    // What the window does for one lesson, once the view is created.
    void play(const QString &link)
    {
        m_browser->switchOffDefaults();
        m_browser->navigateToString(orvy::player::buildPlayerPage(link));
        m_browser->executeScript(orvy::player::fullScreenScript());
    }
    bool createView()
    {
        QString error;
        const bool ok = m_browser->waitUntilCreated(&error);
        if (!ok)
            qWarning() << "creation failed:" << error;
        return ok;
    }
    // Plays the served lesson and waits until its time runs on.
    bool playLesson(const QString &link = QString())
    {
        if (!m_browser->isCreated() && !createView())
            return false;
        play(link.isEmpty() ? m_server->url(QStringLiteral("/lesson.mp4")) : link);
        return waitJs(QStringLiteral("document.getElementById('vid') && "
                                     "document.getElementById('vid').currentTime > 0.3"));
    }
    double currentTime() const
    {
        return js(QStringLiteral("document.getElementById('vid').currentTime")).toDouble();
    }
    bool stillPlaying() const
    {
        const double before = currentTime();
        return waitJs(QStringLiteral("!document.getElementById('vid').paused && "
                                     "document.getElementById('vid').currentTime > %1 + 0.3")
                          .arg(before));
    }
    // Centre of a page element in the input widget's coordinates (zoom is fixed at
    // 1 and the screen has one pixel per CSS pixel).
    QPoint centreOf(const QString &selector) const
    {
        const QVariantList xy = js(QStringLiteral("(() => { const r = document.querySelector('%1')"
                                                  ".getBoundingClientRect(); return [r.x + r.width / 2, "
                                                  "r.y + r.height / 2]; })()")
                                       .arg(selector))
                                    .toList();
        return xy.size() == 2 ? QPoint(int(xy[0].toDouble()), int(xy[1].toDouble())) : QPoint();
    }
    // What the screen shows of the view: the test video's picture changes with every
    // frame, so two looks apart differ while the view still renders.
    QImage screenOfView() const
    {
        QWidget *view = m_browser->view();
        const QPoint topLeft = view->mapToGlobal(QPoint(0, 0));
        return view->screen()
            ->grabWindow(0, topLeft.x(), topLeft.y(), view->width(), view->height())
            .toImage();
    }
    bool pictureMoves() const
    {
        const QImage before = screenOfView();
        return QTest::qWaitFor([&] { return screenOfView() != before; }, 5000);
    }

    // The window is active and the keys go to the page.
    bool focusView()
    {
        m_host->activateWindow();
        if (!QTest::qWaitForWindowActive(m_host.get()))
            return false;
        m_browser->view()->setFocus();
        return QTest::qWaitFor([this] { return input()->hasFocus(); });
    }

    std::unique_ptr<QWidget> m_host;
    WId m_hostNative = 0; // the host's native window as first shown
    EdgeBrowser *m_browser = nullptr;
    std::unique_ptr<HttpServer> m_server;
    QString m_video;

private Q_SLOTS:
    void initTestCase()
    {
        // Long enough to keep playing through one test.
        QString error;
        m_video = orvy::test::makeLessonClip(&error);
        QVERIFY2(!m_video.isEmpty(), qPrintable(error));

        m_server = std::make_unique<HttpServer>();
        m_server->setRoute("/lesson.mp4", HttpServer::Response::file(m_video, "video/mp4"));

        m_host = std::make_unique<QWidget>();
        m_host->resize(640, 400);
        m_browser = new EdgeBrowser(m_host.get());
        m_browser->setGeometry(10, 10, 600, 360);
        m_host->show();
        m_host->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_host.get()));
        m_hostNative = m_host->internalWinId();
    }

    void cleanup()
    {
        if (m_browser) {
            m_browser->setCreationTimeLimit(std::chrono::seconds(30));
            m_browser->closeView();
        }
    }

    void cleanupTestCase()
    {
        m_host.reset();
        // The profile is the only thing written, and only in its own folder.
        const QString root = xdgRoot();
        QCOMPARE(
            entriesUnder(root + QStringLiteral("/data")), QStringList { QStringLiteral("bds.exe.WebView2") });
        // (Graphics and sound libraries keep their own caches, not named after us.)
        const QString app = QCoreApplication::applicationName();
        for (const QString &other : { QStringLiteral("/cache"), QStringLiteral("/config") }) {
            const QStringList entries = entriesUnder(root + other);
            QVERIFY2(!entries.contains(app) && !entries.contains(QStringLiteral("QtWebEngine")),
                qPrintable(entries.join(u' ')));
        }
    }

    // Runs first: nothing exists yet.
    void closeWithNothingCreated()
    {
        QVERIFY(!m_browser->isCreated());
        m_browser->closeView();
        m_browser->closeView();
        m_browser->navigateToString(QStringLiteral("<p>ignored</p>"));
        m_browser->executeScript(QStringLiteral("1"));
        m_browser->switchOffDefaults();
        QVERIFY(!m_browser->view());
        // The profile comes with the first view, not before.
        QVERIFY(!QDir(EdgeBrowser::userDataFolder()).exists());
    }

    // The engine opens the profile at a default folder of its own first and leaves a
    // preferences file there; a start that fails must not leave it behind either.
    void failedFirstStartLeavesNoTrace()
    {
        const QString engineFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
            + QStringLiteral("/QtWebEngine");
        m_browser->setCreationTimeLimit(std::chrono::milliseconds(1));
        QString error;
        QVERIFY(!m_browser->waitUntilCreated(&error));
        QVERIFY2(error.contains(QStringLiteral("did not start")), qPrintable(error));
        QVERIFY2(!QDir(engineFolder).exists(), qPrintable(entriesUnder(engineFolder).join(u' ')));
        QTest::qWait(500);
        QVERIFY(!QDir(engineFolder).exists());
        m_browser->setCreationTimeLimit(std::chrono::seconds(30));
    }

    // The program keeps no log: on a first play, stderr stays clean (the engine's
    // graphics dump, the browser's own error lines, its complaints about a profile folder
    // it cannot make), while a failure still ends the process visibly.
    // `dataHome`: where the profile goes: "fresh", "under a file" (a home that cannot be
    // made, as a read-only one cannot for a user), "taken by a file" (the profile folder).
    void engineDiagnosticsStayOffStderr_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("dataHome");
        QTest::newRow("as the program starts it") << QStringLiteral("quiet") << QStringLiteral("fresh");
        QTest::newRow("data home that cannot be made")
            << QStringLiteral("quiet") << QStringLiteral("under a file");
        QTest::newRow("profile folder taken by a file")
            << QStringLiteral("quiet") << QStringLiteral("taken by a file");
        QTest::newRow("without, the noise this removes") << QStringLiteral("loud") << QStringLiteral("fresh");
    }
    void engineDiagnosticsStayOffStderr()
    {
        QFETCH(QString, mode);
        QFETCH(QString, dataHome);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORVY_EDGEBROWSER_CHILD"), mode);
        env.insert(QStringLiteral("ORVY_EDGEBROWSER_LESSON"), m_server->url(QStringLiteral("/lesson.mp4")));
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--disable-gpu"));
        env.remove(QStringLiteral("QT_LOGGING_RULES"));
        // Folders of its own, away from the ones this test's browser uses, as a desktop
        // session has them.
        const QString folder = orvy::test::freshTestDir(QStringLiteral("child-") + QTest::currentDataTag());
        QString data = folder + QStringLiteral("/data");
        if (dataHome == QStringLiteral("under a file")) {
            QVERIFY(QFile(folder + QStringLiteral("/file")).open(QIODevice::WriteOnly));
            data = folder + QStringLiteral("/file/data");
        } else if (dataHome == QStringLiteral("taken by a file")) {
            QVERIFY(QDir().mkpath(data));
            QVERIFY(QFile(data + u'/' + QFileInfo(EdgeBrowser::userDataFolder()).fileName())
                        .open(QIODevice::WriteOnly));
        }
        env.insert(QStringLiteral("XDG_DATA_HOME"), data);
        env.insert(QStringLiteral("XDG_CACHE_HOME"), folder + QStringLiteral("/cache"));
        const QString runtime = folder + QStringLiteral("/runtime");
        QVERIFY(QDir().mkpath(runtime));
        QVERIFY(QFile::setPermissions(
            runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        const QString err = QString::fromLocal8Bit(child.readAllStandardError());
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QVERIFY2(child.exitCode() == 0,
            qPrintable(QStringLiteral("exit code %1\n%2").arg(child.exitCode()).arg(err)));
        if (mode == QStringLiteral("loud")) {
            QVERIFY2(err.contains(QStringLiteral("qt.webenginecontext")), qPrintable(err));
            return;
        }
        // The one line the sandbox switch of these tests brings; a user never sets it.
        QStringList lines = err.split(u'\n', Qt::SkipEmptyParts);
        lines.removeAll(QStringLiteral("Sandboxing disabled by user."));
        QVERIFY2(lines.isEmpty(), qPrintable(lines.join(u'\n')));
    }

    void createIsAsynchronousAndFillsTheWidget()
    {
        m_browser->create();
        QVERIFY(m_browser->isCreating());
        QVERIFY(!m_browser->isCreated());
        QWebEngineView *first = m_browser->view();
        QVERIFY(first);
        m_browser->create(); // under way: no second view
        QCOMPARE(m_browser->view(), first);

        QVERIFY(createView());
        QVERIFY(m_browser->isCreated());
        QCOMPARE(m_browser->view(), first);
        // The view went into the window as it was: its native window was not made anew.
        QCOMPARE(m_host->internalWinId(), m_hostNative);
        // Where the page draws nothing, it shows the window's own ground.
        QCOMPARE(page()->backgroundColor(), m_host->palette().color(QPalette::Window));
        m_browser->create(); // exists: nothing happens
        QCOMPARE(m_browser->view(), first);

        QCOMPARE(EdgeBrowser::userDataFolder(), xdgRoot() + QStringLiteral("/data/bds.exe.WebView2"));
        QWebEngineProfile *profile = page()->profile();
        QVERIFY(!profile->isOffTheRecord());
        QCOMPARE(profile->persistentStoragePath(), EdgeBrowser::userDataFolder());
        QVERIFY(profile->cachePath().startsWith(EdgeBrowser::userDataFolder() + u'/'));
        QVERIFY(QDir(EdgeBrowser::userDataFolder()).exists());

        QCOMPARE(first->geometry(), m_browser->rect());
        m_browser->resize(420, 230);
        QCOMPARE(first->geometry(), QRect(0, 0, 420, 230));
        m_browser->setGeometry(10, 10, 600, 360);
        QCOMPARE(first->geometry(), QRect(0, 0, 600, 360));
    }

    void switchedOffDefaults()
    {
        QVERIFY(playLesson());
        QVERIFY(input());

        QTest::mouseClick(input(), Qt::RightButton, {}, centreOf(QStringLiteral("#vid")));
        QTest::qWait(500);
        QVERIFY(!QApplication::activePopupWidget());

        // Ctrl+wheel and the zoom keys do not zoom.
        for (int i = 0; i < 5; ++i) {
            QWheelEvent wheel(QPointF(100, 100), input()->mapToGlobal(QPointF(100, 100)), QPoint(),
                QPoint(0, 120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(input(), &wheel);
            QTest::keyClick(input(), Qt::Key_Plus, Qt::ControlModifier);
        }
        QTest::qWait(500);
        QCOMPARE(page()->zoomFactor(), 1.0);
        QCOMPARE(js(QStringLiteral("window.devicePixelRatio")).toDouble(), 1.0);
        // Set from outside, it goes back at the next page.
        page()->setZoomFactor(2.0);
        play(m_server->url(QStringLiteral("/lesson.mp4")));
        QTRY_COMPARE(page()->zoomFactor(), 1.0);
    }

    void linkReachesTheVideo_data()
    {
        QTest::addColumn<QString>("path"); // the link's path as typed
        QTest::addColumn<QString>("query"); // and its query
        QTest::newRow("plain") << "/lesson.mp4"
                               << "";
        QTest::newRow("ampersands") << "/lesson.mp4"
                                    << "?a=1&b=2&amp;c=3";
        QTest::newRow("quote and angle brackets") << "/a\"b<c>d.mp4"
                                                  << "?q=\"x\"";
        QTest::newRow("non-ASCII and blank") << "/وانە ١/درس.mp4"
                                             << "";
    }
    void linkReachesTheVideo()
    {
        QFETCH(QString, path);
        QFETCH(QString, query);
        // Requests come percent-encoded; the server answers that form of the path.
        m_server->setRoute(
            QUrl::toPercentEncoding(path, "/"), HttpServer::Response::file(m_video, "video/mp4"));
        const QString link = m_server->url(path) + query;
        QVERIFY(playLesson(link));
        QCOMPARE(
            js(QStringLiteral("document.querySelector('#vid source').getAttribute('src')")).toString(), link);
        QCOMPARE(js(QStringLiteral("document.getElementById('vid').currentSrc")).toString(),
            js(QStringLiteral("new URL(%1[0]).href").arg(jsArray(link))).toString());
        QCOMPARE(js(QStringLiteral("document.querySelectorAll('video, source').length")).toInt(), 2);
    }

    // No click: the lesson starts by itself, with sound.
    void autoplayWithSound()
    {
        QVERIFY(playLesson());
        QVERIFY(stillPlaying());
        QCOMPARE(js(QStringLiteral("document.getElementById('vid').muted")).toBool(), false);
        QVERIFY(js(QStringLiteral("document.getElementById('vid').volume")).toDouble() > 0.0);
        QVERIFY(js(QStringLiteral("document.getElementById('vid').controls")).toBool());
        QVERIFY(waitJs(QStringLiteral("document.getElementById('vid').videoWidth === 160")));
    }

    void fullScreenEnterAndLeave_data()
    {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("leave with Escape") << true;
        QTest::newRow("leave from the page") << false;
    }
    void fullScreenEnterAndLeave()
    {
        QFETCH(bool, byEscape);
        QVERIFY(playLesson());
        QSignalSpy spy(m_browser, &EdgeBrowser::containsFullScreenElementChanged);
        // A button of our own over the video: its click is a real user gesture.
        const QPoint button = orvy::test::addFullScreenButton(page());
        QVERIFY(button.x() >= 0);
        QVERIFY(focusView());
        QTest::mouseClick(input(), Qt::LeftButton, {}, button);
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
        QVERIFY(m_browser->containsFullScreenElement());
        QVERIFY(
            waitJs(QStringLiteral("document.fullscreenElement && document.fullscreenElement.id === 'vid'")));
        // Full screen stays inside the widget; the window makes room for it.
        QWebEngineView *view = m_browser->view();
        QVERIFY(!view->isWindow());
        QVERIFY(m_browser->isAncestorOf(view));
        QCOMPARE(QRect(view->mapTo(m_browser, QPoint(0, 0)), view->size()), m_browser->rect());

        if (byEscape) {
            QVERIFY(input()->hasFocus());
            QTest::keyClick(m_host->windowHandle(), Qt::Key_Escape);
        } else {
            js(QStringLiteral("document.exitFullscreen(); true"));
        }
        QTRY_COMPARE(spy.size(), 2);
        QCOMPARE(spy.at(1).at(0).toBool(), false);
        QVERIFY(!m_browser->containsFullScreenElement());
        QVERIFY(waitJs(QStringLiteral("document.fullscreenElement === null")));
        QVERIFY(stillPlaying());
        QTest::qWait(300);
        QCOMPARE(spy.size(), 2);
    }

    void navigatingAgainReplacesThePage()
    {
        QVERIFY(playLesson());
        QSignalSpy loads(page(), &QWebEnginePage::loadFinished);
        m_browser->navigateToString(QStringLiteral("<p id=\"second\">second</p>"));
        QTRY_VERIFY(loads.size() >= 1);
        QVERIFY(waitJs(QStringLiteral("document.getElementById('second') !== null")));
        QCOMPARE(js(QStringLiteral("document.getElementsByTagName('video').length")).toInt(), 0);
        // And back to a lesson in the same view.
        QVERIFY(playLesson());
    }

    void closeDuringPlaybackAndCreateAgain()
    {
        QVERIFY(playLesson());
        QPointer<QWebEngineView> oldView = m_browser->view();
        QPointer<QWebEnginePage> oldPage = m_browser->page();
        m_browser->closeView();
        QVERIFY(!m_browser->isCreated());
        QVERIFY(!m_browser->view());
        QVERIFY(oldView.isNull());
        QVERIFY(oldPage.isNull());
        m_browser->closeView();

        QVERIFY(playLesson());
        QVERIFY(stillPlaying());
    }

    void closeInFullScreenReportsLeaving()
    {
        QVERIFY(playLesson());
        QSignalSpy spy(m_browser, &EdgeBrowser::containsFullScreenElementChanged);
        const QPoint button = orvy::test::addFullScreenButton(page());
        QVERIFY(button.x() >= 0);
        QTest::mouseClick(input(), Qt::LeftButton, {}, button);
        QTRY_COMPARE(spy.size(), 1);
        m_browser->closeView();
        QCOMPARE(spy.size(), 2);
        QCOMPARE(spy.at(1).at(0).toBool(), false);
    }

    void hideShowAndFrameChangeKeepThePage()
    {
        QVERIFY(playLesson());
        js(QStringLiteral("window.marker = 42; true"));
        QSignalSpy loads(page(), &QWebEnginePage::loadStarted);
        QWebEngineView *view = m_browser->view();

        m_host->hide();
        QVERIFY(!view->isVisible());
        QTest::qWait(300);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
        QVERIFY(view->isVisible());
        QCOMPARE(js(QStringLiteral("window.marker")).toInt(), 42);
        QVERIFY(stillPlaying());
        QVERIFY(pictureMoves());

        // The window drops and restores its frame around full screen.
        m_host->setWindowFlag(Qt::FramelessWindowHint, true);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
        QCOMPARE(m_browser->view(), view);
        QCOMPARE(js(QStringLiteral("window.marker")).toInt(), 42);
        QVERIFY(stillPlaying());
        QVERIFY(pictureMoves());
        m_host->setWindowFlag(Qt::FramelessWindowHint, false);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
        QVERIFY(stillPlaying());
        QVERIFY(pictureMoves());
        QCOMPARE(loads.size(), 0);
        m_host->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_host.get()));
    }

    // A wait started while another waits for the creation (a second play) joins that
    // creation: one view, both waits end with it, the inner one first, and a ticket
    // taken later makes the earlier one stale.
    void nestedWaitsShareOneCreation()
    {
        QList<QWebEngineView *> viewsSeen;
        QStringList order;
        const quint64 outerTicket = m_browser->takeRequestTicket();
        quint64 innerTicket = 0;
        QTimer::singleShot(0, this, [&] {
            innerTicket = m_browser->takeRequestTicket();
            QVERIFY(m_browser->isCreating());
            viewsSeen << m_browser->view();
            QVERIFY(m_browser->waitUntilCreated());
            order << QStringLiteral("inner");
            viewsSeen << m_browser->view();
        });
        QVERIFY(m_browser->waitUntilCreated());
        order << QStringLiteral("outer");
        viewsSeen << m_browser->view();
        QCOMPARE(order, (QStringList { QStringLiteral("inner"), QStringLiteral("outer") }));
        QCOMPARE(viewsSeen.size(), 3);
        QVERIFY(viewsSeen.at(0));
        QCOMPARE(viewsSeen.at(1), viewsSeen.at(0));
        QCOMPARE(viewsSeen.at(2), viewsSeen.at(0));
        QVERIFY(m_browser->isLatestRequest(innerTicket));
        QVERIFY(!m_browser->isLatestRequest(outerTicket));
        QVERIFY(playLesson());
    }

    void closingDuringTheWaitEndsIt()
    {
        QTimer::singleShot(0, m_browser, &EdgeBrowser::closeView);
        const quint64 ticket = m_browser->takeRequestTicket();
        QString error;
        QVERIFY(!m_browser->waitUntilCreated(&error));
        QVERIFY2(error.contains(QStringLiteral("closed")), qPrintable(error));
        // The play that waited is no longer wanted: it stays silent.
        QVERIFY(!m_browser->isLatestRequest(ticket));
        QVERIFY(!m_browser->view());
        QVERIFY(createView());
    }

    void renderProcessDiesDuringCreation()
    {
        m_browser->create();
        QVERIFY(page());
        // Kill the render process as soon as it exists, before the blank page is in.
        QTimer killer;
        QPointer<QWebEnginePage> creating = page();
        connect(&killer, &QTimer::timeout, this, [&] {
            if (creating && creating->renderProcessPid() > 0) {
                ::kill(pid_t(creating->renderProcessPid()), SIGKILL);
                killer.stop();
            }
        });
        killer.start(0);
        QString error;
        QVERIFY(!m_browser->waitUntilCreated(&error));
        QVERIFY2(error.contains(QStringLiteral("render process")), qPrintable(error));
        QVERIFY(!m_browser->isCreated());
        QVERIFY(!m_browser->view());
        // The next attempt starts afresh.
        QVERIFY(playLesson());
    }

    void creationTimeLimit()
    {
        m_browser->setCreationTimeLimit(std::chrono::milliseconds(1));
        QString error;
        QVERIFY(!m_browser->waitUntilCreated(&error));
        QVERIFY2(error.contains(QStringLiteral("did not start")), qPrintable(error));
        QVERIFY(!m_browser->view());
        m_browser->setCreationTimeLimit(std::chrono::seconds(30));
        QVERIFY(playLesson());
    }
};

// A process that plays a lesson as the program does (quiet unless asked to be loud),
// for the test of what reaches stderr.
int runChild(int argc, char **argv, bool quiet)
{
    if (quiet)
        EdgeBrowser::quietenEngineDiagnostics();
    QApplication app(argc, argv);
    QWidget host;
    host.resize(320, 200);
    auto *browser = new EdgeBrowser(&host);
    browser->resize(host.size());
    host.show();
    QString error;
    if (!browser->waitUntilCreated(&error))
        return 3;
    browser->navigateToString(orvy::player::buildPlayerPage(qEnvironmentVariable("ORVY_EDGEBROWSER_LESSON")));
    browser->executeScript(orvy::player::fullScreenScript());
    const bool played = waitForJavaScript(browser->page(),
        QStringLiteral("document.getElementById('vid') && document.getElementById('vid').currentTime > 0.3"),
        30000);
    return played ? 0 : 4;
}

int main(int argc, char **argv)
{
    const QByteArray child = qgetenv("ORVY_EDGEBROWSER_CHILD");
    if (!child.isEmpty())
        return runChild(argc, argv, child == "quiet");

    // Root cannot use the engine's sandbox here; no GPU under the private X server.
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    // Everything the browser keeps goes under a folder of the test's own.
    const QString xdg = orvy::test::freshTestDir(QStringLiteral("xdg"));
    for (const char *name : { "data", "cache", "config" })
        QDir(xdg).mkpath(QString::fromLatin1(name));
    qputenv("ORVY_EDGEBROWSER_XDG", xdg.toUtf8());
    qputenv("XDG_DATA_HOME", (xdg + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CACHE_HOME", (xdg + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (xdg + QStringLiteral("/config")).toUtf8());

    QApplication app(argc, argv);
    TestEdgeBrowser test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_edgebrowser.moc"
