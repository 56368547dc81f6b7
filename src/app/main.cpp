#include "app/firstpaint.h"
#include "core/linkfilter.h"
#include "ui/browser/edgebrowser.h"
#include "ui/fonts.h"
#include "ui/tform1.h"
#include "ui/theme.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QIcon>
#include <QUrl>
#include <cstdlib>

int main(int argc, char *argv[])
{
    // The program keeps no log; the engine must know before it starts.
    orvy::ui::EdgeBrowser::quietenEngineDiagnostics();
    QApplication app(argc, argv);
    // The main window is an ordinary top-level window and carries the taskbar entry itself.
    QApplication::setQuitOnLastWindowClosed(true);
    // The title's font, shipped beside the program where the system lacks it (Windows).
    orvy::ui::loadShippedFonts(QCoreApplication::applicationDirPath() + QStringLiteral("/fonts"));
    // The desktop ties the window to its launcher by this name and shows the same icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(ORVY_APP_ID));
    orvy::ui::applyThemeOrReport(app, QString::fromLatin1(orvy::ui::Theme::defaultName));

    auto settings = orvy::ui::FormSettings::builtIn();
    settings.fatalExit = [](int exitCode) { std::exit(exitCode); };
    settings.openLink = [](const QString &link) {
        // Only web, mail and telephone links reach the desktop; any other does nothing.
        if (const auto url = orvy::linkToOpen(link))
            QDesktopServices::openUrl(*url);
    };

    orvy::ui::TForm1 Form1(std::move(settings));
    Form1.showMaximized();
    // Decoding the icon's sizes (and loading the image plug-ins that go with it) would
    // hold up the window; the window manager takes it just as well a moment later.
    orvy::app::afterFirstPaint(&Form1, [] {
        QIcon icon;
        const QDir icons(QStringLiteral(":/appicon"));
        for (const QString &file : icons.entryList({ QStringLiteral("*.png") }))
            icon.addFile(icons.filePath(file));
        QApplication::setWindowIcon(icon);
    });
    return QApplication::exec();
}
