// The lesson player's handlers of the main window.
#include "ui/tform1.h"

#include "core/error.h"
#include "player/playerpage.h"
#include "ui/bevelpanel.h"
#include "ui/browser/edgebrowser.h"
#include "ui/errorreport.h"
#include "ui/widgets/lessonlist.h"
#include "ui/widgets/sidepanel.h"

namespace orvy::ui {

void TForm1::ListBox1DblClick()
{
    guarded(this, [this] {
        const int index = ListBox1->currentRow();
        if (index < 0 || !ListBox1->currentItem()->isSelected())
            return;
        PlayVideo(tmpLinks ? tmpLinks->value(index) : QString());
        // The player owns the content area from now on.
        Panel2->hide();
    });
}

void TForm1::PlayVideo(const QString &url)
{
    const quint64 request = EdgeBrowser1->takeRequestTicket();
    if (!EdgeBrowser1->isCreated()) {
        QString reason;
        const bool created = EdgeBrowser1->waitUntilCreated(&reason);
        // A play asked for while we waited has already loaded its own lesson; the last
        // lesson chosen is the one that stays.
        if (!EdgeBrowser1->isLatestRequest(request))
            return;
        if (!created)
            throw Error(QStringLiteral("The video player could not start: %1").arg(reason));
    }
    EdgeBrowser1->switchOffDefaults();
    EdgeBrowser1->navigateToString(player::buildPlayerPage(url));
    EdgeBrowser1->executeScript(player::fullScreenScript());
}

void TForm1::EdgeBrowser1ContainsFullScreenElementChanged(bool)
{
    // Our own state decides, not the flag: each notification toggles the chrome.
    const bool enter = Tag == 0;
    pnlToolbar->resize(width(), enter ? 0 : toolbarHeight);
    SV->setOpened(!enter);
    setBorderless(enter);
    Tag = enter ? 1 : 0;
    layoutWindow();
}

void TForm1::setBorderless(bool borderless)
{
    if (windowFlags().testFlag(Qt::FramelessWindowHint) == borderless)
        return;
    const Qt::WindowStates states = windowState();
    const bool visible = isVisible();
    // Changing the flags re-creates the native frame and hides the window; put it back
    // as it was, maximized, with the same widgets and page inside.
    setWindowFlag(Qt::FramelessWindowHint, borderless);
    setWindowState(states);
    if (visible)
        show();
}

} // namespace orvy::ui
