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

// The embedded browser's engine side, built into the engine plug-in: the web view,
// its page and its profile. Its operations are EdgeBrowser's, documented there; it
// reports through the callbacks it is made with.
class WebEngineBrowser : public QWidget, public BrowserEngine {
    Q_OBJECT

public:
    WebEngineBrowser(Callbacks callbacks, QWidget *parent);
    ~WebEngineBrowser() override;

    QWidget *widget() override { return this; }
    bool isCreated() const override { return m_state == State::Created; }
    bool isCreating() const override { return m_state == State::Creating; }
    void create() override;
    bool waitUntilCreated(QString *error) override;
    void setCreationTimeLimit(std::chrono::milliseconds limit) override { m_timeLimit = limit; }
    void switchOffDefaults() override;
    void navigateToString(const QString &html) override;
    void executeScript(const QString &script) override;
    void closeView() override;
    QWebEngineView *view() const override { return m_view; }
    QWebEnginePage *page() const override { return m_page; }
    bool containsFullScreenElement() const override { return m_fullScreen; }

Q_SIGNALS:
    // A creation ended (also given to the callback); waitUntilCreated() wakes on it.
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
    // The page leaves full screen without saying so (closed, or its process ended).
    void endFullScreen();
    // Across a full-screen change the view is covered until the page has drawn itself
    // at the view's size in its new state.
    void coverUntilRedrawn();
    void askWhetherRedrawn();
    void onPageDrawn(const QString &answer);
    void uncover();

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
    QPointer<QWidget> m_cover;
    quint64 m_viewResizes = 0; // a page's answer counts only if the view kept its size
    qint64 m_firstDrawnFrame = -1; // time of the first frame seen at the view's size
    QTimer m_redrawCheck;
    QTimer m_coverLimit;
    QTimer m_drawnSettle;
};

} // namespace orvy::ui
