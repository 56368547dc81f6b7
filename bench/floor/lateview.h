#pragma once

#include <QString>
#include <QtPlugin>

class QWidget;

// The web view of bench_floor_lateview, in a plug-in that the floor loads at its
// first play: the engine's libraries are not loaded before.
class LateView {
public:
    virtual ~LateView() = default;
    // A bare QWebEngineView as a child of parent, shown.
    virtual QWidget *createView(QWidget *parent) = 0;
    // Loads the program's player page for url into a view from createView().
    virtual void play(QWidget *view, const QString &url) = 0;
};

#define LateView_iid "orvy.bench.LateView/1.0"
Q_DECLARE_INTERFACE(LateView, LateView_iid)
