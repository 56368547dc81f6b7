#include "lateview.h"
#include "player/playerpage.h"

#include <QObject>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

class LateViewPlugin : public QObject, public LateView {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID LateView_iid)
    Q_INTERFACES(LateView)

public:
    QWidget *createView(QWidget *parent) override
    {
        auto *view = new QWebEngineView(parent);
        view->page()->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
        view->show();
        return view;
    }
    void play(QWidget *view, const QString &url) override
    {
        static_cast<QWebEngineView *>(view)->setHtml(orvy::player::buildPlayerPage(url));
    }
};

#include "lateviewplugin.moc"
