#include "ui/widgets/sidepanel.h"

#include <QTest>

using orvy::ui::SidePanel;

namespace {

// The panel docked right below a toolbar, as in the main window.
struct Host {
    QWidget window;
    SidePanel *panel;
    QWidget *content;
    QList<int> steps;
    QList<int> rightEdges;
    QList<bool> openDuringSteps;

    Host()
    {
        window.resize(800, 450);
        panel = new SidePanel(&window);
        panel->setGeometry(800 - 165, 50, 165, 400);
        content = new QWidget;
        panel->setContent(content);
        QObject::connect(panel, &SidePanel::widthStepped, &window, [this](int width) {
            steps << width;
            rightEdges << panel->x() + panel->width();
            openDuringSteps << panel->isOpened();
            QCOMPARE(panel->width(), width);
            QCOMPARE(content->geometry(), panel->rect());
        });
    }

    void settle() { QTRY_VERIFY(!panel->isAnimating()); }
};

} // namespace

class TestSidePanel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsOpen()
    {
        Host host;
        QCOMPARE(host.panel->fullWidth(), 165);
        QCOMPARE(host.panel->width(), 165);
        QVERIFY(host.panel->isOpened());
        QCOMPARE(host.content->parentWidget(), host.panel);
    }

    void closeAndOpen()
    {
        Host host;
        host.window.show();

        host.panel->setOpened(false);
        QVERIFY(!host.panel->isOpened()); // closing already, before the first step
        host.settle();
        QCOMPARE(host.steps, (QList<int> { 15, 0 }));
        QCOMPARE(host.rightEdges, (QList<int> { 800, 800 }));
        QCOMPARE(host.openDuringSteps, (QList<bool> { false, false }));
        QCOMPARE(host.panel->geometry(), QRect(800, 50, 0, 400));

        host.steps.clear();
        host.rightEdges.clear();
        host.openDuringSteps.clear();
        host.panel->setOpened(true);
        QVERIFY(!host.panel->isOpened());
        host.settle();
        QCOMPARE(host.steps, (QList<int> { 150, 165 }));
        QCOMPARE(host.rightEdges, (QList<int> { 800, 800 }));
        QCOMPARE(host.openDuringSteps, (QList<bool> { false, true }));
        QCOMPARE(host.panel->geometry(), QRect(635, 50, 165, 400));
        QVERIFY(host.panel->isOpened());
    }

    void settingTheSameStateDoesNothing()
    {
        Host host;
        host.panel->setOpened(true);
        QVERIFY(!host.panel->isAnimating());
        QTest::qWait(30);
        QVERIFY(host.steps.isEmpty());
    }

    // The menu button sets the opposite of isOpened(); a second call comes
    // either at once or when the animation reaches a given width.
    void secondCall_data()
    {
        QTest::addColumn<bool>("startOpen");
        QTest::addColumn<int>("atWidth"); // -1: right after the first call
        QTest::addColumn<QList<int>>("steps");
        QTest::addColumn<bool>("endOpen");

        QTest::newRow("toggle twice quickly while open") << true << -1 << QList<int> {} << true;
        QTest::newRow("toggle twice quickly while closed") << false << -1 << QList<int> { 150, 165 } << true;
        QTest::newRow("toggle during closing reopens") << true << 15 << QList<int> { 15, 165 } << true;
        QTest::newRow("toggle during opening goes on") << false << 150 << QList<int> { 150, 165 } << true;
    }
    void secondCall()
    {
        QFETCH(bool, startOpen);
        QFETCH(int, atWidth);
        QFETCH(QList<int>, steps);
        QFETCH(bool, endOpen);

        Host host;
        if (!startOpen) {
            host.panel->setOpened(false);
            host.settle();
            host.steps.clear();
        }
        const auto toggle = [&] { host.panel->setOpened(!host.panel->isOpened()); };
        if (atWidth >= 0) {
            QObject::connect(host.panel, &SidePanel::widthStepped, &host.window, [&](int width) {
                if (width == atWidth)
                    toggle();
            });
        }
        toggle();
        if (atWidth < 0)
            toggle();
        host.settle();
        QCOMPARE(host.steps, steps);
        QCOMPARE(host.panel->isOpened(), endOpen);
        QCOMPARE(host.panel->x() + host.panel->width(), 800);
    }

    void closedContentIsOutOfReach()
    {
        Host host;
        auto *field = new QWidget(host.content);
        field->setFocusPolicy(Qt::StrongFocus);
        auto *outside = new QWidget(&host.window);
        outside->setFocusPolicy(Qt::StrongFocus);
        host.window.show();
        host.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&host.window));
        field->setFocus();
        QVERIFY(field->hasFocus());

        host.panel->setOpened(false);
        host.settle();
        // Width 0 alone would leave the content shown and the keyboard in it, unseen.
        QVERIFY(!host.content->isVisible());
        QVERIFY(!field->hasFocus());
        host.steps.clear();
        host.panel->setOpened(true);
        QTRY_VERIFY(host.content->isVisible()); // from the first step on
        QCOMPARE(host.steps.first(), 150);
    }

    void closeDuringOpening()
    {
        Host host;
        host.panel->setOpened(false);
        host.settle();
        host.steps.clear();
        QObject::connect(host.panel, &SidePanel::widthStepped, &host.window, [&](int width) {
            if (width == 150)
                host.panel->setOpened(false);
        });
        host.panel->setOpened(true);
        host.settle();
        QCOMPARE(host.steps, (QList<int> { 150, 0 }));
        QVERIFY(!host.panel->isOpened());
    }
};

QTEST_MAIN(TestSidePanel)
#include "tst_sidepanel.moc"
