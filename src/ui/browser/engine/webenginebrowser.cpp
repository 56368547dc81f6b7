#include "ui/browser/engine/webenginebrowser.h"

#include "ui/browser/browserenginefactory.h"
#include "ui/browser/browserpaths.h"

#include <QChildEvent>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QNativeGestureEvent>
#include <QStandardPaths>
#include <QWebEngineFullScreenRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QWheelEvent>

namespace orvy::ui {

namespace {

using browser::pageBaseUrl;
using browser::userDataFolder;

const QString profileName = browser::profileName();

// Counts how deep we are inside the page's own signals: the page and its view
// must not be deleted while one of them is still on the stack.
class SignalScope {
public:
    explicit SignalScope(int &depth)
        : m_depth(depth)
    {
        ++m_depth;
    }
    ~SignalScope() { --m_depth; }
    SignalScope(const SignalScope &) = delete;
    SignalScope &operator=(const SignalScope &) = delete;

private:
    int &m_depth;
};

// What the page reports, once it has drawn a frame, to the question of
// WebEngineBrowser::askWhetherRedrawn(). It comes back as a console message.
const QString drawnMarker = QStringLiteral("orvy-player-drawn:");

// The program keeps no log: the page's console messages (such as the error of the
// full-screen script this engine lacks) are dropped instead of going to stderr, but
// for the answers to our own question.
class QuietPage : public QWebEnginePage {
public:
    QuietPage(QWebEngineProfile *profile, QObject *parent,
        std::function<void(const QWebEnginePage *, const QString &)> drawn)
        : QWebEnginePage(profile, parent)
        , m_drawn(std::move(drawn))
    {
    }

protected:
    void javaScriptConsoleMessage(
        JavaScriptConsoleMessageLevel, const QString &message, int, const QString &) override
    {
        if (message.startsWith(drawnMarker))
            m_drawn(this, message.mid(drawnMarker.size()));
    }

private:
    std::function<void(const QWebEnginePage *, const QString &)> m_drawn;
};

// Tab and Shift+Tab, with no other modifier.
bool isTabKey(const QKeyEvent *event)
{
    return (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)
        && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

bool isZoomKey(const QKeyEvent *event)
{
    if (!(event->modifiers() & Qt::ControlModifier))
        return false;
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Minus:
    case Qt::Key_Equal:
    case Qt::Key_0:
        return true;
    default:
        return false;
    }
}

QString terminationReason(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode)
{
    switch (status) {
    case QWebEnginePage::NormalTerminationStatus:
        return WebEngineBrowser::tr("The browser's render process ended (exit code %1)").arg(exitCode);
    case QWebEnginePage::AbnormalTerminationStatus:
        return WebEngineBrowser::tr("The browser's render process failed (exit code %1)").arg(exitCode);
    case QWebEnginePage::CrashedTerminationStatus:
        return WebEngineBrowser::tr("The browser's render process crashed (exit code %1)").arg(exitCode);
    case QWebEnginePage::KilledTerminationStatus:
        return WebEngineBrowser::tr("The browser's render process was killed (exit code %1)").arg(exitCode);
    }
    return WebEngineBrowser::tr("The browser's render process ended (status %1, exit code %2)")
        .arg(int(status))
        .arg(exitCode);
}

// This engine version opens every named profile at its own default place (under
// the application's data folder) before it can be pointed elsewhere, and leaves a
// preferences file there. Whether the start worked or not, remove that trace and the
// folders made for it, as long as they hold nothing else.
void removeDefaultProfileTrace()
{
    const QString appData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (appData.isEmpty())
        return;
    const QString engineFolder = appData + QStringLiteral("/QtWebEngine");
    QDir trace(engineFolder + u'/' + profileName);
    if (!trace.exists())
        return;
    const QStringList entries = trace.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    const QString prefs = QStringLiteral("user_prefs.json");
    if (!entries.isEmpty() && entries != QStringList { prefs })
        return;
    trace.remove(prefs);
    // rmdir() removes only empty folders.
    QDir root;
    root.rmdir(trace.absolutePath());
    root.rmdir(engineFolder);
    root.rmdir(appData);
}

// Whether a folder is there to write in, or could be made: its nearest existing
// ancestor is a folder we may write in. Nothing is made.
bool canMake(const QString &folder)
{
    QFileInfo info(folder);
    while (!info.exists()) {
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath())
            return false;
        info.setFile(parent);
    }
    return info.isDir() && info.isWritable();
}

// Whether the profile can be kept in folder: the engine makes it with its cache inside,
// after a folder at its own default place (see removeDefaultProfileTrace()). Where it
// cannot, it complains on stderr and keeps nothing all the same.
bool canKeepProfileIn(const QString &folder)
{
    const QString appData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return !folder.isEmpty() && !appData.isEmpty() && canMake(folder)
        && canMake(folder + QStringLiteral("/Cache"))
        && canMake(appData + QStringLiteral("/QtWebEngine/") + profileName);
}

} // namespace

WebEngineBrowser::WebEngineBrowser(Callbacks callbacks, QWidget *parent)
    : QWidget(parent)
    , m_callbacks(std::move(callbacks))
{
    m_timeLimitTimer.setSingleShot(true);
    connect(&m_timeLimitTimer, &QTimer::timeout, this, &WebEngineBrowser::onTimeLimit);
    m_redrawCheck.setInterval(50);
    connect(&m_redrawCheck, &QTimer::timeout, this, &WebEngineBrowser::askWhetherRedrawn);
    // A page that never draws (hidden, stalled) does not keep the view covered.
    m_coverLimit.setSingleShot(true);
    m_coverLimit.setInterval(10000);
    connect(&m_coverLimit, &QTimer::timeout, this, &WebEngineBrowser::uncover);
    m_drawnSettle.setSingleShot(true);
    m_drawnSettle.setInterval(250);
    connect(&m_drawnSettle, &QTimer::timeout, this, &WebEngineBrowser::uncover);
}

WebEngineBrowser::~WebEngineBrowser()
{
    // Pages must be gone before their profile is released.
    m_pageSignalDepth = 0;
    dropView();
    for (const QPointer<QWebEngineView> &view : std::as_const(m_retired))
        delete view.data();
    delete m_profile;
}

void WebEngineBrowser::ensureProfile()
{
    if (m_profile)
        return;
    const QString folder = userDataFolder();
    if (!canKeepProfileIn(folder)) {
        // No place for it (no home, or one we cannot write in): keep nothing on disk
        // rather than write somewhere else.
        m_profile = new QWebEngineProfile(this);
        return;
    }
    m_profile = new QWebEngineProfile(profileName, this);
    m_profile->setPersistentStoragePath(folder);
    m_profile->setCachePath(folder + QStringLiteral("/Cache"));
}

void WebEngineBrowser::create()
{
    if (m_state != State::None)
        return;
    ensureProfile();
    ++m_attempt;
    m_state = State::Creating;

    m_view = new QWebEngineView(this);
    m_page = new QuietPage(m_profile, m_view, [this](const QWebEnginePage *page, const QString &state) {
        if (page == m_page)
            onPageDrawn(state);
    });
    // Where the page draws nothing (around a letterboxed video, before the first
    // page) it shows the window's ground, not the engine's white.
    m_page->setBackgroundColor(palette().color(QPalette::Window));
    QWebEngineSettings *settings = m_page->settings();
    // Lessons start with sound as soon as their page loads.
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    settings->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    m_view->setPage(m_page);
    switchOffDefaults();

    connect(m_page, &QWebEnginePage::loadFinished, this, &WebEngineBrowser::onLoadFinished);
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
        [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
            SignalScope scope(m_pageSignalDepth);
            onRenderProcessTerminated(int(status), exitCode);
        });
    connect(m_page, &QWebEnginePage::fullScreenRequested, this, &WebEngineBrowser::onFullScreenRequested);
    connect(m_page, &QWebEnginePage::contentsSizeChanged, this, &WebEngineBrowser::keepZoomFixed);

    watchInput(m_view);
    m_view->setGeometry(rect());
    m_view->show();

    m_timeLimitTimer.start(m_timeLimit);
    // Created means the render process is up: it has loaded this blank page.
    m_page->setHtml(QString(), pageBaseUrl());
}

bool WebEngineBrowser::waitUntilCreated(QString *error)
{
    if (isCreated())
        return true;
    create();
    const quint64 attempt = m_attempt;
    const QPointer<WebEngineBrowser> self(this);
    for (;;) {
        if (isCreated())
            return true;
        if (m_failedAttempt >= attempt) {
            if (error)
                *error = m_failure;
            return false;
        }
        // Handle events for 200 ms at a time, or until the creation ends. Handling
        // only what is pending and then sleeping starves the engine, whose start-up
        // takes many rounds through the event loop: it would never finish.
        QEventLoop slice;
        QTimer::singleShot(200, &slice, &QEventLoop::quit);
        connect(this, &WebEngineBrowser::creationFinished, &slice, &QEventLoop::quit);
        slice.exec();
        if (!self) {
            if (error)
                *error = tr("The player was closed before it started");
            return false;
        }
    }
}

void WebEngineBrowser::switchOffDefaults()
{
    if (!m_view)
        return;
    // No context menu: its entries (inspect, save, back) have no place here.
    m_view->setContextMenuPolicy(Qt::NoContextMenu);
    // Developer tools need a dev-tools page or a remote-debugging port; neither is
    // ever given. The hovered-link text is never shown: there is no status bar.
    // Zoom stays at 100 %: its inputs are filtered (eventFilter) and any change
    // is undone.
    keepZoomFixed();
}

void WebEngineBrowser::navigateToString(const QString &html)
{
    if (!isCreated())
        return;
    m_page->setHtml(html, pageBaseUrl());
}

void WebEngineBrowser::executeScript(const QString &script)
{
    if (!isCreated())
        return;
    m_page->runJavaScript(script);
}

void WebEngineBrowser::closeView()
{
    if (m_state == State::Creating) {
        failCreation(tr("The player was closed before it started"));
        return;
    }
    if (m_state != State::Created)
        return;
    endFullScreen();
    dropView();
    m_state = State::None;
}

void WebEngineBrowser::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_view)
        m_view->setGeometry(rect());
    if (m_cover)
        m_cover->setGeometry(rect());
    ++m_viewResizes;
}

bool WebEngineBrowser::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:
        // The widget that renders the page and takes its input is a child of the
        // view, made (and remade) by the engine.
        if (watched == m_view.data())
            watchInput(static_cast<QChildEvent *>(event)->child());
        break;
    case QEvent::Wheel:
        if (static_cast<QWheelEvent *>(event)->modifiers() & Qt::ControlModifier)
            return true;
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (isZoomKey(key))
            return true;
        // Tab leaves the player in one step: the page's own stops, the video's
        // controls, are hidden while it plays and would take the keyboard unseen.
        if (isTabKey(key)) {
            if (event->type() == QEvent::KeyPress)
                focusNextPrevChild(key->key() == Qt::Key_Tab);
            return true;
        }
        // The engine leaves full screen on Escape only when asked to.
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier && m_fullScreen && m_page) {
            if (event->type() == QEvent::KeyPress)
                m_page->triggerAction(QWebEnginePage::ExitFullScreen);
            return true;
        }
        break;
    }
    case QEvent::NativeGesture: {
        const Qt::NativeGestureType type = static_cast<QNativeGestureEvent *>(event)->gestureType();
        if (type == Qt::ZoomNativeGesture || type == Qt::SmartZoomNativeGesture)
            return true;
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void WebEngineBrowser::watchInput(QObject *object)
{
    if (object && object->isWidgetType())
        object->installEventFilter(this);
}

void WebEngineBrowser::keepZoomFixed()
{
    if (m_page && m_page->zoomFactor() != 1.0)
        m_page->setZoomFactor(1.0);
}

void WebEngineBrowser::onLoadFinished(bool ok)
{
    SignalScope scope(m_pageSignalDepth);
    if (m_state == State::Creating) {
        if (!ok) {
            failCreation(tr("The browser could not load its start page"));
            return;
        }
        m_timeLimitTimer.stop();
        m_state = State::Created;
        removeDefaultProfileTrace();
        reportCreation(true, QString());
        return;
    }
    keepZoomFixed();
}

void WebEngineBrowser::onRenderProcessTerminated(int status, int exitCode)
{
    // Once created, the next page loaded starts a new render process.
    const QString reason = terminationReason(QWebEnginePage::RenderProcessTerminationStatus(status), exitCode);
    if (m_state == State::Creating) {
        failCreation(reason);
        return;
    }
    if (m_state != State::Created)
        return;
    // A page that was full screen cannot say it left, nor draw anything more.
    endFullScreen();
    uncover();
    if (m_callbacks.renderProcessEnded)
        m_callbacks.renderProcessEnded(reason);
}

void WebEngineBrowser::onFullScreenRequested(QWebEngineFullScreenRequest request)
{
    SignalScope scope(m_pageSignalDepth);
    // The page's element fills the view and the view stays in this widget: the
    // window drops its chrome around it instead of opening a window of its own.
    request.accept();
    if (request.toggleOn() == m_fullScreen)
        return;
    m_fullScreen = request.toggleOn();
    // Granted, the page takes its new state at the view's old size, and the window's
    // switch resizes the view after it: at a large size the frames drawn in between
    // (the video in a corner, its button still "enter") stay for seconds. None of
    // them is shown. (Granting after the switch instead makes the engine pass the grant
    // on only once the page has drawn at the new size; a leave within that gap left the
    // next page's request for full screen unanswered for good.)
    coverUntilRedrawn();
    reportFullScreen(m_fullScreen);
}

void WebEngineBrowser::coverUntilRedrawn()
{
    if (!m_view || !m_page)
        return;
    if (!m_cover) {
        m_cover = new QWidget(this);
        m_cover->setObjectName(QStringLiteral("playerCover"));
        m_cover->setAutoFillBackground(true);
        // Input still goes to the page: the keyboard stays with it and leaves full screen.
        m_cover->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_cover->setFocusPolicy(Qt::NoFocus);
    }
    // The ground the page shows around its video in the new state.
    QPalette ground = m_cover->palette();
    ground.setColor(QPalette::Window, m_fullScreen ? QColor(Qt::black) : palette().color(QPalette::Window));
    m_cover->setPalette(ground);
    m_cover->setGeometry(rect());
    m_cover->raise();
    m_cover->show();
    m_firstDrawnFrame = -1;
    m_drawnSettle.stop();
    m_redrawCheck.start();
    m_coverLimit.start();
    askWhetherRedrawn();
}

void WebEngineBrowser::askWhetherRedrawn()
{
    if (!m_page || !m_cover || m_cover->isHidden()) {
        uncover();
        return;
    }
    // The page's size and state now; it answers after the frame that shows them has
    // been drawn (the second animation frame from here), with that frame's time, in a
    // world of our own.
    m_page->runJavaScript(QStringLiteral("(() => { const s = innerWidth + 'x' + innerHeight"
                                         " + (document.fullscreenElement ? ' full' : '') + ' %1';"
                                         " requestAnimationFrame(() => requestAnimationFrame("
                                         "t => console.log('%2' + s + '@' + Math.round(t)))); })()")
                              .arg(m_viewResizes)
                              .arg(drawnMarker),
        QWebEngineScript::ApplicationWorld);
}

void WebEngineBrowser::onPageDrawn(const QString &answer)
{
    if (!m_view || !m_cover || m_cover->isHidden())
        return;
    const qsizetype at = answer.lastIndexOf(u'@');
    const QString state = answer.left(at);
    bool timed = false;
    const qint64 frame = at < 0 ? 0 : answer.mid(at + 1).toLongLong(&timed);
    const QString expected = QStringLiteral("%1x%2%3 %4")
                                 .arg(m_view->width())
                                 .arg(m_view->height())
                                 .arg(m_fullScreen ? QStringLiteral(" full") : QString())
                                 .arg(m_viewResizes);
    if (state != expected || !timed) {
        m_firstDrawnFrame = -1;
        m_drawnSettle.stop();
        return;
    }
    // A frame the page has made reaches the screen a little later, after the engine's
    // own drawing: believed once a later frame shows the same, and a moment after.
    if (m_firstDrawnFrame < 0)
        m_firstDrawnFrame = frame;
    else if (frame > m_firstDrawnFrame && !m_drawnSettle.isActive())
        m_drawnSettle.start();
}

void WebEngineBrowser::uncover()
{
    m_redrawCheck.stop();
    m_coverLimit.stop();
    m_drawnSettle.stop();
    if (m_cover)
        m_cover->hide();
}

void WebEngineBrowser::onTimeLimit()
{
    if (m_state == State::Creating)
        failCreation(tr("The browser did not start within %1 seconds")
                         .arg(std::chrono::duration_cast<std::chrono::seconds>(m_timeLimit).count()));
}

void WebEngineBrowser::failCreation(const QString &reason)
{
    m_failedAttempt = m_attempt;
    m_failure = reason;
    dropView();
    // The profile was opened all the same: leave no trace of it behind either way.
    removeDefaultProfileTrace();
    m_state = State::None;
    reportCreation(false, reason);
}

void WebEngineBrowser::reportCreation(bool created, const QString &error)
{
    const QPointer<WebEngineBrowser> self(this);
    if (m_callbacks.creationFinished)
        m_callbacks.creationFinished(created, error);
    if (self)
        Q_EMIT creationFinished(created, error);
}

void WebEngineBrowser::endFullScreen()
{
    if (!m_fullScreen)
        return;
    m_fullScreen = false;
    reportFullScreen(false);
}

void WebEngineBrowser::reportFullScreen(bool containsFullScreenElement)
{
    if (m_callbacks.fullScreenChanged)
        m_callbacks.fullScreenChanged(containsFullScreenElement);
}

void WebEngineBrowser::dropView()
{
    m_timeLimitTimer.stop();
    m_fullScreen = false;
    uncover();
    if (!m_view)
        return;
    QWebEngineView *view = m_view;
    disconnect(m_page, nullptr, this, nullptr);
    m_view = nullptr;
    m_page = nullptr;
    view->removeEventFilter(this);
    const QList<QWidget *> children = view->findChildren<QWidget *>();
    for (QWidget *child : children)
        child->removeEventFilter(this);
    // The page goes with its view (its parent).
    if (m_pageSignalDepth > 0) {
        m_retired.removeAll(nullptr);
        view->hide();
        m_retired.append(view);
        view->deleteLater();
    } else {
        delete view;
    }
}

namespace {

// The plug-in's entry: the program loads it at the first play.
class WebEngineBrowserFactory : public QObject, public BrowserEngineFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OrvyBrowserEngineFactory_iid)
    Q_INTERFACES(orvy::ui::BrowserEngineFactory)

public:
    BrowserEngine *createEngine(QWidget *parent, BrowserEngine::Callbacks callbacks) override
    {
        return new WebEngineBrowser(std::move(callbacks), parent);
    }
};

} // namespace

} // namespace orvy::ui

#include "webenginebrowser.moc"
