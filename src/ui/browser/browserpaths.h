#pragma once

#include <QStandardPaths>
#include <QString>
#include <QUrl>

// Where the embedded browser keeps its profile and the address its pages load
// under; the same for the window and for the engine plug-in.
namespace orvy::ui::browser {

inline QString profileName()
{
    return QStringLiteral("bds.exe.WebView2");
}

// <local application data>/bds.exe.WebView2: storage and cache of the profile.
inline QString userDataFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return QString();
    return base + u'/' + profileName();
}

inline QUrl pageBaseUrl()
{
    // An empty base keeps the page a plain data document: it may load media from
    // http and https alike (an https base would block http videos as mixed
    // content, a file base blocks remote ones) and sends no referrer.
    return QUrl();
}

} // namespace orvy::ui::browser
