#pragma once

#include <QPoint>
#include <QString>
#include <QVariant>

class QWebEnginePage;

namespace orvy::test {

// Runs script in the page and waits (handling events) for its result; an invalid
// QVariant if none came within timeoutMs.
QVariant runJavaScriptSync(QWebEnginePage *page, const QString &script, int timeoutMs = 10000);

// Evaluates expression in the page until it is true; false if it never was
// within timeoutMs.
bool waitForJavaScript(QWebEnginePage *page, const QString &expression, int timeoutMs = 10000);

// Puts a button over the page's video (once) whose click asks for the video's full
// screen, as the video's own button does, and returns its centre in the page's
// coordinates; (-1, -1) if the page did not answer. Click it with a real mouse event:
// full screen needs a user gesture.
QPoint addFullScreenButton(QWebEnginePage *page);

} // namespace orvy::test
