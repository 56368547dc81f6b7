#pragma once

#include "ui/browser/browserengine.h"

#include <QtPlugin>

namespace orvy::ui {

// The engine plug-in's entry.
class BrowserEngineFactory {
public:
    virtual ~BrowserEngineFactory() = default;
    // A new engine whose widget is a child of parent (and deleted with it).
    virtual BrowserEngine *createEngine(QWidget *parent, BrowserEngine::Callbacks callbacks) = 0;
};

} // namespace orvy::ui

#define OrvyBrowserEngineFactory_iid "orvy.ui.BrowserEngineFactory/1"
Q_DECLARE_INTERFACE(orvy::ui::BrowserEngineFactory, OrvyBrowserEngineFactory_iid)
