// The lesson player's handlers of the main window.
#include "core/error.h"
#include "player/playerpage.h"
#include "ui/bannerimage.h"
#include "ui/browser/edgebrowser.h"
#include "ui/errorreport.h"
#include "ui/tform1.h"
#include "ui/widgets/lessonlist.h"
#include "ui/widgets/sidepanel.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWindow>

namespace orvy::ui {

void TForm1::ListBox1DblClick()
{
    guarded(this, [this] {
        const int index = ListBox1->currentRow();
        if (index < 0 || !ListBox1->currentItem()->isSelected())
            return;
        m_reloadedAfterCrash = false;
        PlayVideo(tmpLinks ? tmpLinks->value(index) : QString());
        // The player owns the content area from now on.
        Panel2->hide();
        Image1->setPicture({}); // hidden for good: the banner's memory goes
    });
}

void TForm1::PlayVideo(const QString &url)
{
    const quint64 request = EdgeBrowser1->takeRequestTicket();
    EdgeBrowser1->show();
    if (!EdgeBrowser1->isCreated()) {
        QString reason;
        bool created = false;
        // The window is made ready for the first view and kept; where it cannot be (see
        // EdgeBrowser), the toolkit makes the native window anew as the view arrives.
        keepingActivation([&] { created = EdgeBrowser1->waitUntilCreated(&reason); });
        // A play asked for while we waited has already loaded its own lesson; the last
        // lesson chosen is the one that stays.
        if (!EdgeBrowser1->isLatestRequest(request))
            return;
        if (!created)
            throw Error(QStringLiteral("The video player could not start: %1").arg(reason));
    }
    EdgeBrowser1->switchOffDefaults();
    m_shownLink = url;
    if (!EdgeBrowser1->navigateToString(player::buildPlayerPage(url)))
        throw Error(QStringLiteral("This lesson cannot be played: its link is too long (%1 characters)")
                        .arg(url.size()));
    EdgeBrowser1->executeScript(player::fullScreenScript());
}

void TForm1::EdgeBrowser1ContainsFullScreenElementChanged(bool)
{
    // Our own state decides, not the flag: each notification toggles the chrome. Should
    // the toggling leave the two apart (notifications lost or doubled in a burst), the
    // page's own state wins once it has settled.
    showFullScreenChrome(Tag == 0);
    m_fullScreenSettled.start();
}

void TForm1::followThePagesFullScreen()
{
    const bool pageFullScreen = EdgeBrowser1->isCreated() && EdgeBrowser1->containsFullScreenElement();
    if (pageFullScreen != (Tag == 1))
        showFullScreenChrome(pageFullScreen);
}

void TForm1::EdgeBrowser1RenderProcessEnded(const QString &reason)
{
    // Nothing is lost before the first lesson: the next play starts a new process.
    if (Panel2->isVisible() || m_shownLink.isNull())
        return;
    // The lesson comes back once, where it was chosen; a lesson whose page ends its
    // process again is reported instead of leaving a black player.
    // Out of the engine's own notification: the page is loaded anew from the event loop.
    QTimer::singleShot(0, this, [this, reason] {
        guarded(this, [this, &reason] {
            if (m_reloadedAfterCrash)
                throw Error(QStringLiteral("The video player stopped: %1").arg(reason));
            m_reloadedAfterCrash = true;
            PlayVideo(m_shownLink);
        });
    });
}

void TForm1::showFullScreenChrome(bool enter)
{
    pnlToolbar->resize(width(), enter ? 0 : toolbarHeight);
    SV->setOpened(!enter);
    // The player alone lies over the side panel as it closes; back with its chrome, it
    // lies in its place again, under the toolbar and the panels made after it.
    if (enter)
        Panel1->raise();
    else
        Panel1->stackUnder(pnlToolbar);
    setBorderless(enter);
    Tag = enter ? 1 : 0;
    layoutWindow();
}

void TForm1::setBorderless(bool borderless)
{
    if (windowFlags().testFlag(Qt::FramelessWindowHint) == borderless)
        return;
    const Qt::WindowFlags flags
        = borderless ? windowFlags() | Qt::FramelessWindowHint : windowFlags() & ~Qt::FramelessWindowHint;
    // On X11 the frame changes in place: the native window stays mapped, maximized and
    // active, and the window manager keeps its normal size and place for a later
    // restore. Changing the widget's flags would unmap it and map it again, a new
    // window to the manager.
    if (windowHandle() && windowHandle()->handle()
        && QGuiApplication::platformName() == QLatin1String("xcb")) {
        overrideWindowFlags(flags);
        windowHandle()->setFlags(flags);
        return;
    }
    // The page of a window on the screen asked for this: whatever the toolkit still
    // believes, the window is not minimized.
    Qt::WindowStates states = windowState();
    if (windowHandle() && windowHandle()->isExposed())
        states &= ~Qt::WindowMinimized;
    const bool visible = isVisible();
    keepStateThroughRecreation(states);
    // Changing the flags re-creates the native frame and hides the window; put it back
    // as it was, maximized, with the same widgets and page inside.
    keepingActivation([&] {
        setWindowFlags(flags);
        setWindowState(states);
        if (visible)
            show();
    });
}

void TForm1::keepStateThroughRecreation(Qt::WindowStates states)
{
    states &= Qt::WindowMaximized | Qt::WindowFullScreen;
    if (!states)
        return;
    m_stateToKeep = states;
    m_stateKeeping.start();
}

bool TForm1::event(QEvent *event)
{
    // A native window made anew (by the toolkit or the engine) starts with no state of
    // its own and the window manager places it as a new, normal window. Give it the
    // state the old one had before it is shown, and correct the manager's first word
    // on it for a short while (changeEvent).
    if (event->type() == QEvent::WinIdChange && windowHandle()) {
        if (!m_stateKeeping.isActive() && isVisible())
            keepStateThroughRecreation(windowState());
        // Exactly that state: the window is on the screen, so not minimized either.
        if (m_stateKeeping.isActive() && windowHandle()->windowStates() != m_stateToKeep)
            windowHandle()->setWindowStates(m_stateToKeep);
    }
    return QWidget::event(event);
}

void TForm1::keepingActivation(const std::function<void()> &recreate)
{
    // A re-created native window comes back inactive: the keyboard (Escape to leave
    // full screen, the player's keys) must stay with the window the user is in. The
    // window can take it only once it is mapped again, so ask for a while.
    const bool wasActive = isActiveWindow();
    if (wasActive)
        m_focusToRestore = focusWidget();
    recreate();
    if (!wasActive)
        return;
    m_reactivateTries = 0;
    m_reactivate.start();
}

void TForm1::reactivate()
{
    // The old native window's focus-out may still arrive after the new one took the
    // focus, so keep watching for a short while rather than stopping at the first success.
    if (++m_reactivateTries > 20) {
        m_reactivate.stop();
        return;
    }
    if (isActiveWindow())
        return;
    // Hiding for the new frame drops the active widget window even when the native
    // window keeps the keyboard, and then no focus event comes to restore it.
    if (QGuiApplication::focusWindow() && QGuiApplication::focusWindow() == windowHandle())
        QApplication::setActiveWindow(this);
    else
        activateWindow();
    if (isActiveWindow() && m_focusToRestore)
        m_focusToRestore->setFocus();
}

void TForm1::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && m_stateKeeping.isActive()) {
        const Qt::WindowStates now = windowState();
        if (!(now & Qt::WindowMinimized) && (now & m_stateToKeep) != m_stateToKeep)
            QTimer::singleShot(0, this, [this] {
                if (m_stateKeeping.isActive() && !(windowState() & Qt::WindowMinimized))
                    setWindowState(
                        (windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen)) | m_stateToKeep);
            });
    }
    // An activation asked for by reactivate() may arrive later, from the window system.
    if (event->type() == QEvent::ActivationChange && m_reactivate.isActive() && isActiveWindow()
        && m_focusToRestore)
        m_focusToRestore->setFocus();
}

} // namespace orvy::ui
