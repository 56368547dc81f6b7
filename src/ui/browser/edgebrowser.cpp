#include "ui/browser/edgebrowser.h"

#include <QChildEvent>
#include <QDir>
#include <QEventLoop>
#include <QKeyEvent>
#include <QNativeGestureEvent>
#include <QStandardPaths>
#include <QWebEngineFullScreenRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QWheelEvent>

namespace orvy::ui {

namespace {

const QString profileName = QStringLiteral("bds.exe.WebView2");

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

// The program keeps no log: the page's console messages (such as the error of the
// full-screen script this engine lacks) are dropped instead of going to stderr.
class QuietPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    void javaScriptConsoleMessage(
        JavaScriptConsoleMessageLevel, const QString &, int, const QString &) override
    {
    }
};

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
        return EdgeBrowser::tr("The browser's render process ended (exit code %1)").arg(exitCode);
    case QWebEnginePage::AbnormalTerminationStatus:
        return EdgeBrowser::tr("The browser's render process failed (exit code %1)").arg(exitCode);
    case QWebEnginePage::CrashedTerminationStatus:
        return EdgeBrowser::tr("The browser's render process crashed (exit code %1)").arg(exitCode);
    case QWebEnginePage::KilledTerminationStatus:
        return EdgeBrowser::tr("The browser's render process was killed (exit code %1)").arg(exitCode);
    }
    return EdgeBrowser::tr("The browser's render process ended (status %1, exit code %2)")
        .arg(int(status))
        .arg(exitCode);
}

// This engine version opens every named profile at its own default place (under
// the application's data folder) before it can be pointed elsewhere, and leaves a
// preferences file there. Once the profile works from its real folder, remove that
// trace and the folders made for it, as long as they hold nothing else.
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

} // namespace

EdgeBrowser::EdgeBrowser(QWidget *parent)
    : QWidget(parent)
{
    m_timeLimitTimer.setSingleShot(true);
    connect(&m_timeLimitTimer, &QTimer::timeout, this, &EdgeBrowser::onTimeLimit);
}

EdgeBrowser::~EdgeBrowser()
{
    // Pages must be gone before their profile is released.
    m_pageSignalDepth = 0;
    dropView();
    for (const QPointer<QWebEngineView> &view : std::as_const(m_retired))
        delete view.data();
    delete m_profile;
}

QString EdgeBrowser::userDataFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return QString();
    return base + u'/' + profileName;
}

QUrl EdgeBrowser::pageBaseUrl()
{
    // An empty base keeps the page a plain data document: it may load media from
    // http and https alike (an https base would block http videos as mixed
    // content, a file base blocks remote ones) and sends no referrer.
    return QUrl();
}

void EdgeBrowser::ensureProfile()
{
    if (m_profile)
        return;
    const QString folder = userDataFolder();
    if (folder.isEmpty()) {
        // No place for it: keep nothing on disk rather than write somewhere else.
        m_profile = new QWebEngineProfile(this);
        return;
    }
    m_profile = new QWebEngineProfile(profileName, this);
    m_profile->setPersistentStoragePath(folder);
    m_profile->setCachePath(folder + QStringLiteral("/Cache"));
}

void EdgeBrowser::create()
{
    if (m_state != State::None)
        return;
    ensureProfile();
    ++m_attempt;
    m_state = State::Creating;

    m_view = new QWebEngineView(this);
    m_page = new QuietPage(m_profile, m_view);
    QWebEngineSettings *settings = m_page->settings();
    // Lessons start with sound as soon as their page loads.
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    settings->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    m_view->setPage(m_page);
    switchOffDefaults();

    connect(m_page, &QWebEnginePage::loadFinished, this, &EdgeBrowser::onLoadFinished);
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
        [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
            SignalScope scope(m_pageSignalDepth);
            onRenderProcessTerminated(int(status), exitCode);
        });
    connect(m_page, &QWebEnginePage::fullScreenRequested, this, &EdgeBrowser::onFullScreenRequested);
    connect(m_page, &QWebEnginePage::contentsSizeChanged, this, &EdgeBrowser::keepZoomFixed);

    watchInput(m_view);
    m_view->setGeometry(rect());
    m_view->show();

    m_timeLimitTimer.start(m_timeLimit);
    // Created means the render process is up: it has loaded this blank page.
    m_page->setHtml(QString(), pageBaseUrl());
}

bool EdgeBrowser::waitUntilCreated(QString *error)
{
    if (isCreated())
        return true;
    create();
    const quint64 attempt = m_attempt;
    const QPointer<EdgeBrowser> self(this);
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
        connect(this, &EdgeBrowser::creationFinished, &slice, &QEventLoop::quit);
        slice.exec();
        if (!self) {
            if (error)
                *error = tr("The player was closed before it started");
            return false;
        }
    }
}

void EdgeBrowser::switchOffDefaults()
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

bool EdgeBrowser::pageFits(const QString &html)
{
    static const QByteArray scheme = QByteArrayLiteral("data:text/html;charset=UTF-8,");
    // Each byte becomes one character or three; count before encoding anything.
    const QByteArray utf8 = html.toUtf8();
    if (scheme.size() + utf8.size() > maxPageAddressLength)
        return false;
    if (scheme.size() + 3 * utf8.size() <= maxPageAddressLength)
        return true;
    return scheme.size() + utf8.toPercentEncoding().size() <= maxPageAddressLength;
}

bool EdgeBrowser::navigateToString(const QString &html)
{
    if (!isCreated())
        return true;
    if (!pageFits(html)) {
        // The engine would keep the previous page, and its video, without a word.
        m_page->setHtml(QString(), pageBaseUrl());
        return false;
    }
    m_page->setHtml(html, pageBaseUrl());
    return true;
}

void EdgeBrowser::executeScript(const QString &script)
{
    if (!isCreated())
        return;
    m_page->runJavaScript(script);
}

void EdgeBrowser::closeView()
{
    // A play still waiting for the view must not load its lesson after the close.
    ++m_lastTicket;
    if (m_state == State::Creating) {
        failCreation(tr("The player was closed before it started"));
        return;
    }
    if (m_state != State::Created)
        return;
    if (m_fullScreen) {
        m_fullScreen = false;
        Q_EMIT containsFullScreenElementChanged(false);
    }
    dropView();
    m_state = State::None;
}

void EdgeBrowser::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_view)
        m_view->setGeometry(rect());
}

bool EdgeBrowser::eventFilter(QObject *watched, QEvent *event)
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

void EdgeBrowser::watchInput(QObject *object)
{
    if (object && object->isWidgetType())
        object->installEventFilter(this);
}

void EdgeBrowser::keepZoomFixed()
{
    if (m_page && m_page->zoomFactor() != 1.0)
        m_page->setZoomFactor(1.0);
}

void EdgeBrowser::onLoadFinished(bool ok)
{
    SignalScope scope(m_pageSignalDepth);
    if (m_state == State::Creating) {
        if (!ok) {
            failCreation(tr("The browser could not load its start page"));
            return;
        }
        m_timeLimitTimer.stop();
        m_state = State::Created;
        if (!m_traceRemoved) {
            m_traceRemoved = true;
            removeDefaultProfileTrace();
        }
        Q_EMIT creationFinished(true, QString());
        return;
    }
    keepZoomFixed();
}

void EdgeBrowser::onRenderProcessTerminated(int status, int exitCode)
{
    // Once created, the next page loaded starts a new render process.
    if (m_state == State::Creating)
        failCreation(terminationReason(QWebEnginePage::RenderProcessTerminationStatus(status), exitCode));
}

void EdgeBrowser::onFullScreenRequested(QWebEngineFullScreenRequest request)
{
    SignalScope scope(m_pageSignalDepth);
    // The page's element fills the view and the view stays in this widget: the
    // window drops its chrome around it instead of opening a window of its own.
    request.accept();
    if (request.toggleOn() == m_fullScreen)
        return;
    m_fullScreen = request.toggleOn();
    Q_EMIT containsFullScreenElementChanged(m_fullScreen);
}

void EdgeBrowser::onTimeLimit()
{
    if (m_state == State::Creating)
        failCreation(tr("The browser did not start within %1 seconds")
                         .arg(std::chrono::duration_cast<std::chrono::seconds>(m_timeLimit).count()));
}

void EdgeBrowser::failCreation(const QString &reason)
{
    m_failedAttempt = m_attempt;
    m_failure = reason;
    dropView();
    m_state = State::None;
    Q_EMIT creationFinished(false, reason);
}

void EdgeBrowser::dropView()
{
    m_timeLimitTimer.stop();
    m_fullScreen = false;
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

} // namespace orvy::ui
