#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>
#include <chrono>

class QWebEngineFullScreenRequest;
class QWebEngineProfile;

namespace orvy::ui {

// The embedded browser of the lesson player. The web view inside it is created
// lazily (create(), waitUntilCreated()) and always fills this widget. Its context
// menu, developer tools, hovered-link text and zooming are switched off; videos
// may play with sound without a click; the page's full-screen requests are
// accepted inside this widget (the window drops its own chrome around it) and
// reported by containsFullScreenElementChanged().
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
    // The address pages given to navigateToString() are loaded under. A page there
    // may load http and https media; relative links resolve against nothing.
    static QUrl pageBaseUrl();

    // True once the view exists and its render process has loaded the first,
    // blank page.
    bool isCreated() const { return m_state == State::Created; }
    bool isCreating() const { return m_state == State::Creating; }

    // Starts creating the view and returns at once. Does nothing while a creation
    // is under way or the view exists.
    void create();

    // Creates the view if needed and waits until it is created, handling events
    // meanwhile (in slices of 200 ms), so the window stays responsive and other
    // handlers (a nested play) may run. Returns false with the reason in *error when the
    // creation fails (render process ended, blank page not loaded, no start within
    // the time limit, the view closed meanwhile); the next call starts afresh.
    // Nested calls wait for the same creation. The widget must outlive the call.
    bool waitUntilCreated(QString *error = nullptr);

    // Up to 30 s by default; a creation still running then counts as failed.
    void setCreationTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }

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
    QWebEngineView *view() const { return m_view; }
    QWebEnginePage *page() const { return m_page; }
    bool containsFullScreenElement() const { return m_fullScreen; }

Q_SIGNALS:
    // A creation ended: the view is created, or it failed for the given reason.
    void creationFinished(bool created, const QString &error);

    // The page entered (true) or left (false) full screen; each change is
    // reported once, entering and leaving alternate.
    void containsFullScreenElementChanged(bool containsFullScreenElement);

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class State { None, Creating, Created };

    void ensureProfile();
    void onLoadFinished(bool ok);
    void onRenderProcessTerminated(int status, int exitCode);
    void onFullScreenRequested(QWebEngineFullScreenRequest request);
    void onTimeLimit();
    void failCreation(const QString &reason);
    void dropView();
    void watchInput(QObject *object);
    void keepZoomFixed();

    QWebEngineProfile *m_profile = nullptr;
    QPointer<QWebEngineView> m_view;
    QPointer<QWebEnginePage> m_page;
    QList<QPointer<QWebEngineView>> m_retired; // dropped during one of their own signals
    State m_state = State::None;
    bool m_fullScreen = false;
    bool m_traceRemoved = false;
    int m_pageSignalDepth = 0;
    quint64 m_attempt = 0; // number of the latest creation attempt
    quint64 m_failedAttempt = 0; // latest attempt that failed
    QString m_failure; // and why
    quint64 m_lastTicket = 0;
    std::chrono::milliseconds m_timeLimit { 30000 };
    QTimer m_timeLimitTimer;
};

} // namespace orvy::ui
