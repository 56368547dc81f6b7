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

QPoint addFullScreenButton(QWebEnginePage *page)
{
    const QVariantList xy = runJavaScriptSync(page,
        QStringLiteral(
            "(() => { let b = document.getElementById('fs'); if (!b) {"
            "b = document.createElement('button'); b.id = 'fs'; b.textContent = 'fs';"
            "b.style = 'position:fixed;left:20px;top:20px;width:80px;height:40px;z-index:9';"
            "b.onclick = () => document.getElementById('vid').requestFullscreen();"
            "document.body.appendChild(b); }"
            "const r = b.getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2]; })()"))
                                .toList();
    if (xy.size() != 2)
        return QPoint(-1, -1);
    return QPoint(int(xy[0].toDouble()), int(xy[1].toDouble()));
}

} // namespace orvy::test
