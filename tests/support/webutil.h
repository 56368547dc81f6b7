#pragma once

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

} // namespace orvy::test
