// Work deferred until the window's first paint: it runs once, never before the window
// has painted, and not at all for a window that never reaches the screen.
#include "app/firstpaint.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

namespace {

// Notes the order of the first paint of anything in the window and of the work.
class PaintOrder : public QObject {
public:
    int step = 0;
    int firstPaint = 0; // 0: not yet
    int work = 0;
    int workRuns = 0;

    void record() { work = ++step, ++workRuns; }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && firstPaint == 0)
            firstPaint = ++step;
        return false;
    }
};

} // namespace

class tst_FirstPaint : public QObject {
    Q_OBJECT

private slots:
    void runsOnceAfterThePaint_data();
    void runsOnceAfterThePaint();
    void neverShownRunsNothing();
};

enum class When { BeforeShow, RightAfterShow, OnScreen };
Q_DECLARE_METATYPE(When)

void tst_FirstPaint::runsOnceAfterThePaint_data()
{
    QTest::addColumn<When>("when");
    QTest::addColumn<bool>("maximized");
    QTest::newRow("before the first show") << When::BeforeShow << false;
    QTest::newRow("right after showMaximized, as at start") << When::RightAfterShow << true;
    QTest::newRow("right after show") << When::RightAfterShow << false;
    QTest::newRow("already on the screen: at once") << When::OnScreen << true;
}

void tst_FirstPaint::runsOnceAfterThePaint()
{
    QFETCH(When, when);
    QFETCH(bool, maximized);

    QWidget window;
    window.resize(400, 300);
    auto *layout = new QVBoxLayout(&window);
    auto *label = new QLabel(QStringLiteral("کورسێن من"), &window);
    layout->addWidget(label);
    PaintOrder order;
    window.installEventFilter(&order);
    label->installEventFilter(&order);
    const auto defer = [&] { orvy::app::afterFirstPaint(&window, [&] { order.record(); }); };
    const auto show = [&] { maximized ? window.showMaximized() : window.show(); };

    if (when == When::BeforeShow)
        defer();
    show();
    if (when == When::RightAfterShow)
        defer();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    if (when == When::OnScreen) {
        QTRY_VERIFY(order.firstPaint > 0);
        defer();
        QCOMPARE(order.workRuns, 1); // no waiting
    }

    QTRY_COMPARE(order.workRuns, 1);
    QVERIFY2(order.firstPaint > 0 && order.firstPaint < order.work, "the work ran before the first paint");
    // Later paints bring no second run.
    window.resize(500, 350);
    window.update();
    QTest::qWait(200);
    QCOMPARE(order.workRuns, 1);
}

void tst_FirstPaint::neverShownRunsNothing()
{
    auto *window = new QWidget;
    int runs = 0;
    orvy::app::afterFirstPaint(window, [&runs] { ++runs; });
    QTest::qWait(300);
    QCOMPARE(runs, 0);
    // The watch goes with the window.
    delete window;
    QTest::qWait(50);
    QCOMPARE(runs, 0);
}

QTEST_MAIN(tst_FirstPaint)
#include "tst_firstpaint.moc"
