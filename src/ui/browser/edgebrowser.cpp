#include "ui/browser/edgebrowser.h"

#include "ui/browser/browserenginefactory.h"
#include "ui/browser/browserpaths.h"
#include "ui/browser/enginecheck.h"
#include "ui/browser/windowsurface.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QPluginLoader>
#include <QResizeEvent>
#include <QtGui/qtguiglobal.h>

#if QT_CONFIG(opengl)
#include <QOpenGLContext>
// Exported by Qt GUI; what Qt::AA_ShareOpenGLContexts makes at the application's start.
Q_GUI_EXPORT QOpenGLContext *qt_gl_global_share_context();
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);
#endif

namespace orvy::ui {

namespace {

// Next to the program or where it is installed. Programs built elsewhere in the build
// tree (tests, benchmarks) find a link to it beside them.
QStringList enginePluginCandidates()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    return {
        appDir + QStringLiteral("/orvybrowserengine"),
        appDir + QStringLiteral("/../lib/orvyclass/orvybrowserengine"),
    };
}

// The engine renders through an OpenGL context it shares with the window; a
// program linked with it makes one at start. Made here, before the engine loads,
// the window's start is spared it.
void ensureSharedOpenGLContext()
{
#if QT_CONFIG(opengl)
    if (qt_gl_global_share_context())
        return;
    auto *context = new QOpenGLContext(QCoreApplication::instance());
    context->setFormat(QSurfaceFormat::defaultFormat());
    if (!context->create()) {
        delete context; // the engine then draws without it
        return;
    }
    qt_gl_set_global_share_context(context);
#endif
}

} // namespace

EdgeBrowser::EdgeBrowser(QWidget *parent)
    : QWidget(parent)
{
}

EdgeBrowser::~EdgeBrowser() = default;

void EdgeBrowser::quietenEngineDiagnostics()
{
    // The engine's informational report of its graphics context. Rules given in
    // QT_LOGGING_RULES still override this.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    // The browser's own log goes to stderr from inside the engine; keep only its fatal
    // lines. The engine reads its flags once, when it starts; flags given from outside
    // are kept, and a log level given there wins.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--log-level")) {
        if (!flags.isEmpty())
            flags += ' ';
        flags += "--log-level=3";
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    }
}

QString EdgeBrowser::userDataFolder()
{
    return browser::userDataFolder();
}

QUrl EdgeBrowser::pageBaseUrl()
{
    return browser::pageBaseUrl();
}

bool EdgeBrowser::loadEngine(QString *error)
{
    if (m_engine)
        return true;
    // The engine would end the whole program without a word.
    if (const QString problem = browser::engineStartProblem(); !problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    ensureSharedOpenGLContext();
    QString firstError;
    BrowserEngineFactory *factory = nullptr;
    for (const QString &candidate : enginePluginCandidates()) {
        // Kept loaded for the life of the program, like a linked library.
        QPluginLoader loader(candidate);
        factory = qobject_cast<BrowserEngineFactory *>(loader.instance());
        if (factory)
            break;
        if (firstError.isEmpty())
            firstError = loader.errorString();
    }
    if (!factory) {
        if (error)
            *error = tr("The browser engine could not be loaded: %1").arg(firstError);
        return false;
    }
    // Before the view joins the window, so that the window stays on the screen.
    browser::prepareWindowForView(this);
    BrowserEngine::Callbacks callbacks;
    callbacks.creationFinished
        = [this](bool created, const QString &reason) { Q_EMIT creationFinished(created, reason); };
    callbacks.fullScreenChanged
        = [this](bool fullScreen) { Q_EMIT containsFullScreenElementChanged(fullScreen); };
    callbacks.renderProcessEnded = [this](const QString &reason) { Q_EMIT renderProcessEnded(reason); };
    m_engine = factory->createEngine(this, std::move(callbacks));
    m_engine->setCreationTimeLimit(m_timeLimit);
    m_engineWidget = m_engine->widget();
    m_engineWidget->setGeometry(rect());
    m_engineWidget->show();
    m_watchedWindow = window();
    m_watchedWindow->installEventFilter(this);
    followWindowState();
    return true;
}

bool EdgeBrowser::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watchedWindow && event->type() == QEvent::WindowStateChange)
        followWindowState();
    return QWidget::eventFilter(watched, event);
}

void EdgeBrowser::followWindowState()
{
    if (!m_engineWidget || !m_watchedWindow)
        return;
    // A minimized window shows nothing: the page is told it is hidden (it stops drawing)
    // but stays loaded, and its video keeps its place.
    const bool minimized = m_watchedWindow->windowState() & Qt::WindowMinimized;
    if (minimized == m_engineWidget->isHidden())
        return;
    if (minimized) {
        QWidget *focus = m_watchedWindow->focusWidget();
        m_focusBeforeMinimized = focus && m_engineWidget->isAncestorOf(focus) ? focus : nullptr;
        m_engineWidget->hide();
        return;
    }
    m_engineWidget->show();
    // Hiding the view moved the keyboard on if the window still had it; it comes back.
    if (m_focusBeforeMinimized && m_watchedWindow->focusWidget() != m_focusBeforeMinimized)
        m_focusBeforeMinimized->setFocus();
    m_focusBeforeMinimized = nullptr;
}

bool EdgeBrowser::isCreated() const
{
    return m_engine && m_engine->isCreated();
}

bool EdgeBrowser::isCreating() const
{
    return m_engine && m_engine->isCreating();
}

void EdgeBrowser::create()
{
    QString error;
    if (!loadEngine(&error)) {
        Q_EMIT creationFinished(false, error);
        return;
    }
    m_engine->create();
}

bool EdgeBrowser::waitUntilCreated(QString *error)
{
    if (!loadEngine(error))
        return false;
    return m_engine->waitUntilCreated(error);
}

void EdgeBrowser::setCreationTimeLimit(std::chrono::milliseconds limit)
{
    m_timeLimit = limit;
    if (m_engine)
        m_engine->setCreationTimeLimit(limit);
}

void EdgeBrowser::switchOffDefaults()
{
    if (m_engine)
        m_engine->switchOffDefaults();
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
    if (!m_engine || !isCreated())
        return true;
    if (!pageFits(html)) {
        // The engine would keep the previous page, and its video, without a word.
        m_engine->navigateToString(QString());
        return false;
    }
    m_engine->navigateToString(html);
    return true;
}

void EdgeBrowser::executeScript(const QString &script)
{
    if (m_engine)
        m_engine->executeScript(script);
}

void EdgeBrowser::closeView()
{
    // A play still waiting for the view must not load its lesson after the close.
    ++m_lastTicket;
    if (m_engine)
        m_engine->closeView();
}

QWebEngineView *EdgeBrowser::view() const
{
    return m_engine ? m_engine->view() : nullptr;
}

QWebEnginePage *EdgeBrowser::page() const
{
    return m_engine ? m_engine->page() : nullptr;
}

bool EdgeBrowser::containsFullScreenElement() const
{
    return m_engine && m_engine->containsFullScreenElement();
}

void EdgeBrowser::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_engineWidget)
        m_engineWidget->setGeometry(rect());
}

} // namespace orvy::ui
