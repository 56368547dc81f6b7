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

// A cursor pixel as one of the picture's four kinds, or "other" (edges, halo).
QString kindOf(QRgb pixel)
{
    if (qAlpha(pixel) < 64)
        return QStringLiteral("clear");
    if (qAlpha(pixel) < 192)
        return QStringLiteral("other");
    const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
    if (r < 60 && g < 60 && b < 60)
        return QStringLiteral("black");
    if (r > 200 && g > 200 && b > 200)
        return QStringLiteral("white");
    // #C88A12, give or take the smoothing of its edges.
    if (qAbs(r - 0xC8) < 40 && qAbs(g - 0x8A) < 40 && b < 80)
        return QStringLiteral("sand");
    return QStringLiteral("other");
}

} // namespace

class TestBusyCursor : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(!overridden()); }

    // What the cursor shows, region by region: an hourglass (black top and bottom
    // bars, a white glass with a black outline, sand above and below its neck) on a
    // transparent ground, and the letters below it.
    void cursorPicture_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QString>("kind");
        const struct {
            const char *name;
            QPoint at;
            const char *kind;
        } rows[] = {
            { "corner", { 0, 0 }, "clear" },
            { "left of the glass", { 3, 10 }, "clear" },
            { "right of the glass", { 28, 10 }, "clear" },
            { "below the letters", { 30, 31 }, "clear" },
            { "top bar, left", { 8, 2 }, "black" },
            { "top bar, middle", { 16, 2 }, "black" },
            { "top bar, right", { 23, 2 }, "black" },
            { "bottom bar, left", { 8, 19 }, "black" },
            { "bottom bar, right", { 23, 18 }, "black" },
            { "glass outline at the neck", { 14, 10 }, "black" },
            { "empty glass on top", { 16, 5 }, "white" },
            { "neck", { 15, 11 }, "white" },
            { "sand on top", { 16, 8 }, "sand" },
            { "sand below", { 16, 16 }, "sand" },
        };
        for (const auto &row : rows)
            QTest::newRow(row.name) << row.at << QString::fromLatin1(row.kind);
    }
    void cursorPicture()
    {
        QFETCH(QPoint, at);
        QFETCH(QString, kind);
        const QCursor cursor = BusyCursor::sqlCursor();
        QCOMPARE(cursor.pixmap().size(), QSize(32, 32));
        QCOMPARE(cursor.hotSpot(), QPoint(16, 16));
        const QImage image = cursor.pixmap().toImage();
        QCOMPARE(kindOf(image.pixel(at)), kind);
    }

    // Three letters under the glass: ink in three separate groups of columns, centred.
    void cursorLetters()
    {
        const QImage image = BusyCursor::sqlCursor().pixmap().toImage();
        QList<int> inkColumns;
        for (int x = 0; x < 32; ++x)
            for (int y = 21; y < 32; ++y)
                if (kindOf(image.pixel(x, y)) == QStringLiteral("black")) {
                    inkColumns << x;
                    break;
                }
        QVERIFY(!inkColumns.isEmpty());
        int groups = 1;
        for (int i = 1; i < inkColumns.size(); ++i)
            groups += inkColumns[i] > inkColumns[i - 1] + 1;
        QCOMPARE(groups, 3);
        const int left = inkColumns.first();
        const int right = 31 - inkColumns.last();
        QVERIFY2(qAbs(left - right) <= 2, qPrintable(QStringLiteral("%1 %2").arg(left).arg(right)));
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
