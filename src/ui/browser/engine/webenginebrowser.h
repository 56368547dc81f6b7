#pragma once

#include "ui/browser/browserengine.h"

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

// The embedded browser's engine side (see EdgeBrowser, whose operations these are),
// built into the engine plug-in. The web view inside it is created
// lazily (create(), waitUntilCreated()) and always fills this widget. Its context
// menu, developer tools, hovered-link text and zooming are switched off; videos
// may play with sound without a click; the page's full-screen requests are
// accepted inside this widget (the window drops its own chrome around it) and
// reported by containsFullScreenElementChanged().
//
// The browser profile lives in userDataFolder(); it is made when the first view
// is created and kept for later views.
class WebEngineBrowser : public QWidget, public BrowserEngine {
    Q_OBJECT

public:
    WebEngineBrowser(Callbacks callbacks, QWidget *parent);
    ~WebEngineBrowser() override;

    QWidget *widget() override { return this; }

    // True once the view exists and its render process has loaded the first,
    // blank page.
    bool isCreated() const override { return m_state == State::Created; }
    bool isCreating() const override { return m_state == State::Creating; }

    // Starts creating the view and returns at once. Does nothing while a creation
    // is under way or the view exists.
    void create() override;

    // Creates the view if needed and waits until it is created, handling events
    // meanwhile (in slices of 200 ms), so the window stays responsive and other
    // handlers (a nested play) may run. Returns false with the reason in *error when the
    // creation fails (render process ended, blank page not loaded, no start within
    // the time limit, the view closed meanwhile); the next call starts afresh.
    // Nested calls wait for the same creation. The widget must outlive the call.
    bool waitUntilCreated(QString *error) override;

    // Up to 30 s by default; a creation still running then counts as failed.
    void setCreationTimeLimit(std::chrono::milliseconds limit) override { m_timeLimit = limit; }

    // Context menu, developer tools, status text and zoom off. create() already
    // does this; calling it again is harmless and does nothing without a view.
    void switchOffDefaults() override;

    // Loads html as the page (under pageBaseUrl()). Ignored without a view.
    void navigateToString(const QString &html) override;
    // Runs script in the page; its result and errors are ignored. Ignored without
    // a view.
    void executeScript(const QString &script) override;

    // Drops the view and its page with their subscriptions; a creation under way
    // fails and its waiters return. Harmless without a view; create() may follow.
    // A page still in full screen reports leaving it first.
    void closeView() override;

    // The view and its page while they exist (else nullptr). The view's focus goes
    // to a child widget that receives the keys; it becomes the view's
    // focusProxy() once the page has rendered.
    QWebEngineView *view() const override { return m_view; }
    QWebEnginePage *page() const override { return m_page; }
    bool containsFullScreenElement() const override { return m_fullScreen; }

Q_SIGNALS:
    // A creation ended: the view is created, or it failed for the given reason.
    void creationFinished(bool created, const QString &error);

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
    void reportCreation(bool created, const QString &error);
    void reportFullScreen(bool containsFullScreenElement);

    Callbacks m_callbacks;
    QWebEngineProfile *m_profile = nullptr;
    QPointer<QWebEngineView> m_view;
    QPointer<QWebEnginePage> m_page;
    QList<QPointer<QWebEngineView>> m_retired; // dropped during one of their own signals
    State m_state = State::None;
    bool m_fullScreen = false;
    int m_pageSignalDepth = 0;
    quint64 m_attempt = 0; // number of the latest creation attempt
    quint64 m_failedAttempt = 0; // latest attempt that failed
    QString m_failure; // and why
    std::chrono::milliseconds m_timeLimit { 30000 };
    QTimer m_timeLimitTimer;
};

} // namespace orvy::ui
