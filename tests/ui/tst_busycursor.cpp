#include "ui/widgets/busycursor.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTest>

using orvy::ui::BusyCursor;

namespace {

bool overridden()
{
    return QGuiApplication::overrideCursor() != nullptr;
}

} // namespace

class TestBusyCursor : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(!overridden()); }

    void cursorPicture()
    {
        const QCursor cursor = BusyCursor::sqlCursor();
        const QPixmap pixmap = cursor.pixmap();
        QCOMPARE(pixmap.size(), QSize(32, 32));
        QCOMPARE(cursor.hotSpot(), QPoint(16, 16));
        const QImage image = pixmap.toImage();
        int opaque = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                opaque += qAlpha(image.pixel(x, y)) > 128;
        // Drawn, but not a filled square.
        QVERIFY(opaque > 150);
        QVERIFY(opaque < 32 * 32 / 2 + 200);
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    }

    void showsAtOnceAndGoesAfterTheDelay()
    {
        BusyCursor busy;
        busy.operationStarted();
        // No event processing in between: a query blocks the loop.
        QVERIFY(overridden());
        QCOMPARE(QGuiApplication::overrideCursor()->hotSpot(), QPoint(16, 16));

        QElapsedTimer sinceEnd;
        busy.operationFinished();
        sinceEnd.start();
        QVERIFY(overridden());
        QTRY_VERIFY_WITH_TIMEOUT(!overridden(), 3000);
        QVERIFY(sinceEnd.elapsed() >= BusyCursor::RestoreDelayMs - 1);
        QVERIFY(!busy.isShowing());
    }

    void nestedOperations()
    {
        BusyCursor busy;
        busy.operationStarted();
        busy.operationStarted();
        busy.operationFinished();
        QTest::qWait(BusyCursor::RestoreDelayMs * 4);
        QVERIFY(overridden());
        QCOMPARE(busy.runningOperations(), 1);
        busy.operationFinished();
        // One override only: after the one restore nothing is left pushed.
        QTRY_VERIFY_WITH_TIMEOUT(!overridden(), 3000);
    }

    void quickRestartKeepsIt()
    {
        BusyCursor busy;
        for (int i = 0; i < 5; ++i) {
            busy.operationStarted();
            QVERIFY(overridden());
            busy.operationFinished();
            QElapsedTimer sinceEnd;
            sinceEnd.start();
            QTest::qWait(BusyCursor::RestoreDelayMs / 5);
            // Only meaningful when the machine kept the wait short.
            if (sinceEnd.elapsed() < BusyCursor::RestoreDelayMs - 5)
                QVERIFY(overridden());
        }
        busy.operationStarted();
        busy.operationFinished();
        QTRY_VERIFY_WITH_TIMEOUT(!overridden(), 3000);
    }

    void endWithoutStartIsIgnored()
    {
        BusyCursor busy;
        busy.operationFinished();
        QVERIFY(!overridden());
        busy.operationStarted();
        busy.operationFinished();
        busy.operationFinished();
        QTRY_VERIFY_WITH_TIMEOUT(!overridden(), 3000);
        QCOMPARE(busy.runningOperations(), 0);
    }

    void destructorRestores()
    {
        {
            BusyCursor busy;
            busy.operationStarted();
            QVERIFY(overridden());
        }
        QVERIFY(!overridden());
        {
            BusyCursor busy;
            busy.operationStarted();
            busy.operationFinished(); // restore still pending
        }
        QVERIFY(!overridden());
    }
};

QTEST_MAIN(TestBusyCursor)
#include "tst_busycursor.moc"
