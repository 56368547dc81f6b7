#pragma once

#include <QString>
#include <chrono>
#include <functional>

class QWebEnginePage;
class QWebEngineView;
class QWidget;

namespace orvy::ui {

// The web view behind EdgeBrowser, made by the engine plug-in (engine/), which
// alone links the web engine: the program loads it at the first play. The
// operations are EdgeBrowser's own (see there); the engine reports through the
// callbacks it was made with.
class BrowserEngine {
public:
    struct Callbacks {
        std::function<void(bool created, const QString &error)> creationFinished;
        std::function<void(bool containsFullScreenElement)> fullScreenChanged;
        // The page's render process ended after creation; the view stays, its page blank.
        std::function<void(const QString &reason)> renderProcessEnded;
    };

    virtual ~BrowserEngine() = default;

    // The widget that hosts the view; it fills EdgeBrowser.
    virtual QWidget *widget() = 0;
    virtual bool isCreated() const = 0;
    virtual bool isCreating() const = 0;
    virtual void create() = 0;
    virtual bool waitUntilCreated(QString *error) = 0;
    virtual void setCreationTimeLimit(std::chrono::milliseconds limit) = 0;
    virtual void switchOffDefaults() = 0;
    virtual void navigateToString(const QString &html) = 0;
    virtual void executeScript(const QString &script) = 0;
    virtual void closeView() = 0;
    virtual QWebEngineView *view() const = 0;
    virtual QWebEnginePage *page() const = 0;
    virtual bool containsFullScreenElement() const = 0;
};

} // namespace orvy::ui
