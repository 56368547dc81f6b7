#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <chrono>

class QWebEnginePage;
class QWebEngineView;

namespace orvy::ui {

class BrowserEngine;

// The embedded browser of the lesson player. The web view inside it is created
// lazily (create(), waitUntilCreated()) and always fills this widget. Its context
// menu, developer tools, hovered-link text and zooming are switched off; videos
// may play with sound without a click; the page's full-screen requests are
// accepted inside this widget (the window drops its own chrome around it) and
// reported by containsFullScreenElementChanged().
//
// The view is shown and hidden with this widget, and also hidden while the window
// is minimized, shown again when it is restored; the page stays loaded throughout.
//
// The web engine itself is a plug-in (engine/) loaded at the first create(): the
// window starts without loading the engine's libraries or making the OpenGL
// context it shares, which only the player needs. Then, before the view joins it,
// the window is given what the view needs to be drawn in it (windowsurface.h), so
// that its native window is kept rather than made anew.
//
// The browser profile lives in userDataFolder(); it is made when the first view
// is created and kept for later views.
class EdgeBrowser : public QWidget {
    Q_OBJECT

public:
    explicit EdgeBrowser(QWidget *parent = nullptr);
    ~EdgeBrowser() override;

    // <local application data>/bds.exe.WebView2: storage and cache of the profile.
    static QString userDataFolder();

    // Call before the application object exists: keeps the engine's own diagnostics
    // (its graphics set-up dump, errors of services it cannot reach) off stderr. Fatal
    // errors still come through, and render process failures are reported as ever.
    static void quietenEngineDiagnostics();

    // The address pages given to navigateToString() are loaded under. A page there
    // may load http and https media; relative links resolve against nothing.
    static QUrl pageBaseUrl();

    // True once the view exists and its render process has loaded the first,
    // blank page.
    bool isCreated() const;
    bool isCreating() const;

    // Starts creating the view and returns at once. Does nothing while a creation
    // is under way or the view exists. Loads the engine first if needed; when that
    // fails, the creation fails at once (creationFinished()).
    void create();

    // Creates the view if needed and waits until it is created, handling events
    // meanwhile (in slices of 200 ms), so the window stays responsive and other
    // handlers (a nested play) may run. Returns false with the reason in *error when the
    // creation fails (the engine cannot start here (enginecheck.h), engine not loaded,
    // render process ended, blank page not loaded, no start within the time limit, the view
    // closed meanwhile); the next call starts afresh.
    // Nested calls wait for the same creation. The widget must outlive the call.
    bool waitUntilCreated(QString *error = nullptr);

    // Up to 30 s by default; a creation still running then counts as failed.
    void setCreationTimeLimit(std::chrono::milliseconds limit);

    // Context menu, developer tools, status text and zoom off. create() already
    // does this; calling it again is harmless and does nothing without a view.
    void switchOffDefaults();

    // Loads html as the page (under pageBaseUrl()). Ignored without a view. A page
    // longer than the engine takes as a string (pageFits()) is not loaded: the view
    // shows a blank page instead, so nothing of the previous page goes on playing,
    // and the result is false.
    bool navigateToString(const QString &html);
    // Whether the engine loads html given as a string. It turns the page into a data:
    // address (the UTF-8 text percent-encoded) and refuses an address of more than
    // maxPageAddressLength characters.
    static bool pageFits(const QString &html);
    static constexpr qsizetype maxPageAddressLength = 2 * 1024 * 1024;
    // Runs script in the page; its result and errors are ignored. Ignored without
    // a view.
    void executeScript(const QString &script);

    // Drops the view and its page with their subscriptions; a creation under way
    // fails and its waiters return. Harmless without a view; create() may follow.
    // A page still in full screen reports leaving it first. Every request ticket
    // taken before is no longer the latest.
    void closeView();

    // Latest-request tickets for callers that wait for the creation: take one
    // before waiting and, after the wait, go on only if it is still the latest, so
    // that of several plays asked for during one creation the last one wins.
    quint64 takeRequestTicket() { return ++m_lastTicket; }
    bool isLatestRequest(quint64 ticket) const { return ticket == m_lastTicket; }

    // The view and its page while they exist (else nullptr). The view's focus goes
    // to a child widget that receives the keys; it becomes the view's
    // focusProxy() once the page has rendered.
    QWebEngineView *view() const;
    QWebEnginePage *page() const;
    bool containsFullScreenElement() const;

Q_SIGNALS:
    // A creation ended: the view is created, or it failed for the given reason.
    void creationFinished(bool created, const QString &error);

    // The page entered (true) or left (false) full screen; each change is
    // reported once, entering and leaving alternate.
    void containsFullScreenElementChanged(bool containsFullScreenElement);

    // The page's render process ended (crashed, killed) after the view was created: the
    // view shows nothing until a page is loaded again.
    void renderProcessEnded(const QString &reason);

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool loadEngine(QString *error);
    void followWindowState();

    BrowserEngine *m_engine = nullptr; // its widget is our child
    QPointer<QWidget> m_engineWidget;
    QPointer<QWidget> m_watchedWindow; // whose minimized state the view follows
    QPointer<QWidget> m_focusBeforeMinimized; // inside the view, given back on restore
    std::chrono::milliseconds m_timeLimit { 30000 };
    quint64 m_lastTicket = 0;
};

} // namespace orvy::ui
