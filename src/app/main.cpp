#include "ui/browser/edgebrowser.h"
#include "ui/tform1.h"
#include "ui/theme.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QIcon>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <cstdlib>
#include <functional>

namespace {

// Runs work once, right after the window's first paint has gone to the screen: the paint
// is done inside the handling of the native window's first expose.
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWindow *window, std::function<void()> work)
        : QObject(window)
        , m_work(std::move(work))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                m_work();
                deleteLater();
            });
        }
        return false;
    }

private:
    std::function<void()> m_work;
};

void afterFirstPaint(QWidget *window, std::function<void()> work)
{
    if (QWindow *handle = window->windowHandle(); handle && !handle->isExposed())
        new AfterFirstPaint(handle, std::move(work));
    else
        work();
}

} // namespace

int main(int argc, char *argv[])
{
    // The program keeps no log; the engine must know before it starts.
    orvy::ui::EdgeBrowser::quietenEngineDiagnostics();
    QApplication app(argc, argv);
    // The main window is an ordinary top-level window and carries the taskbar entry itself.
    QApplication::setQuitOnLastWindowClosed(true);
    // The desktop ties the window to its launcher by this name and shows the same icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(ORVY_APP_ID));
    orvy::ui::applyThemeOrReport(app, QString::fromLatin1(orvy::ui::Theme::defaultName));

    auto settings = orvy::ui::FormSettings::builtIn();
    settings.fatalExit = [](int exitCode) { std::exit(exitCode); };
    settings.openLink
        = [](const QString &link) { QDesktopServices::openUrl(QUrl(link, QUrl::TolerantMode)); };

    orvy::ui::TForm1 Form1(std::move(settings));
    Form1.showMaximized();
    // Decoding the icon's sizes (and loading the image plug-ins that go with it) would
    // hold up the window; the window manager takes it just as well a moment later.
    afterFirstPaint(&Form1, [] {
        QIcon icon;
        const QDir icons(QStringLiteral(":/appicon"));
        for (const QString &file : icons.entryList({ QStringLiteral("*.png") }))
            icon.addFile(icons.filePath(file));
        QApplication::setWindowIcon(icon);
    });
    return QApplication::exec();
}
