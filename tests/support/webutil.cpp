#include "webutil.h"

#include <QDeadlineTimer>
#include <QTest>
#include <QWebEnginePage>
#include <memory>

namespace orvy::test {

QVariant runJavaScriptSync(QWebEnginePage *page, const QString &script, int timeoutMs)
{
    struct Outcome {
        bool done = false;
        QVariant value;
    };
    // Shared with the callback: it may still come after we gave up waiting.
    const auto outcome = std::make_shared<Outcome>();
    page->runJavaScript(script, [outcome](const QVariant &value) {
        outcome->value = value;
        outcome->done = true;
    });
    const QDeadlineTimer deadline(timeoutMs);
    while (!outcome->done && !deadline.hasExpired())
        QTest::qWait(10);
    return outcome->value;
}

bool waitForJavaScript(QWebEnginePage *page, const QString &expression, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const QString script = QStringLiteral("!!(%1)").arg(expression);
    do {
        if (runJavaScriptSync(page, script, int(qMax<qint64>(deadline.remainingTime(), 1))).toBool())
            return true;
        QTest::qWait(50);
    } while (!deadline.hasExpired());
    return false;
}

} // namespace orvy::test
