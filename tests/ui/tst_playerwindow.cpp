// The lesson player inside the main window: a double-clicked lesson plays in the real
// browser, the welcome panel goes, and the window follows the video's full screen.
#include "formfixture.h"
#include "player/playerpage.h"
#include "ui/bannerimage.h"
#include "ui/browser/edgebrowser.h"
#include "ui/flatbutton.h"
#include "ui/tform1.h"
#include "ui/widgets/lessonlist.h"
#include "ui/widgets/rtlcombobox.h"
#include "ui/widgets/sidepanel.h"
#include "webutil.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <signal.h>

using orvy::test::FormFixture;
using orvy::test::MessageBoxCatcher;
using orvy::test::runJavaScriptSync;
using orvy::test::waitForJavaScript;
using orvy::ui::TForm1;

class TestPlayerWindow : public QObject {
    Q_OBJECT

private:
    FormFixture m_fixture;
    std::unique_ptr<TForm1> m_form;
    QString m_clipUrl;

    QWebEnginePage *page() const { return m_form->EdgeBrowser1->page(); }
    QWidget *input() const
    {
        QWebEngineView *view = m_form->EdgeBrowser1->view();
        return view ? view->focusProxy() : nullptr;
    }
    QVariant js(const QString &script) const { return runJavaScriptSync(page(), script); }
    bool waitJs(const QString &expression, int timeoutMs = 20000) const
    {
        return waitForJavaScript(page(), expression, timeoutMs);
    }
    bool videoRunsOn() const
    {
        const double before = js(QStringLiteral("document.getElementById('vid').currentTime")).toDouble();
        return waitJs(QStringLiteral("!document.getElementById('vid').paused && "
                                     "!document.getElementById('vid').muted && "
                                     "document.getElementById('vid').currentTime > %1 + 0.3")
                          .arg(before));
    }

    void chooseFirstCourse()
    {
        orvy::test::chooseFirstCourse(*m_form);
        QCOMPARE(m_form->ListBox1->count(), 3);
    }

    void doubleClickLesson(int row) { orvy::test::doubleClickLesson(*m_form, row); }

    // What assistive technology is told about the player.
    bool playerReportedShowing() const
    {
        QAccessibleInterface *player = QAccessible::queryAccessibleInterface(m_form->EdgeBrowser1);
        return player && !player->state().invisible;
    }

    // Enters the page's full screen with a real click on a button of the page.
    void enterFullScreenByGesture()
    {
        const QPoint button = orvy::test::addFullScreenButton(page());
        QVERIFY(button.x() >= 0);
        QTest::mouseClick(input(), Qt::LeftButton, {}, button);
    }

    void verifyNormalChrome()
    {
        QCOMPARE(m_form->Tag, 0);
        QCOMPARE(m_form->pnlToolbar->height(), 50);
        QTRY_VERIFY(m_form->SV->isOpened());
        QVERIFY(!m_form->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(m_form->Panel1->geometry(), QRect(0, 50, m_form->width() - 165, m_form->height() - 50));
    }

    void verifyPlayerAlone()
    {
        QCOMPARE(m_form->Tag, 1);
        QCOMPARE(m_form->pnlToolbar->height(), 0);
        QTRY_COMPARE(m_form->SV->width(), 0);
        QVERIFY(m_form->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(m_form->Panel1->geometry(), m_form->rect());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_fixture.start(&error), qPrintable(error));
        m_clipUrl = m_fixture.serveLessonClip(&error);
        QVERIFY2(!m_clipUrl.isEmpty(), qPrintable(error));
    }

    void init()
    {
        m_fixture.seedCatalogue();
        // The first two lessons of the first course play the served clip, with a query
        // string each so the page shows which one was chosen.
        m_fixture.sql(
            QStringLiteral("UPDATE lessons SET LLink = CONCAT(%1, '?lesson=', LSORT) WHERE cID = 10")
                .arg(orvy::test::MariaDbServer::quoted(m_clipUrl)));
        MessageBoxCatcher boxes;
        m_form = m_fixture.showForm();
        QVERIFY(m_form);
        QVERIFY(boxes.seen().isEmpty());
    }

    void cleanup() { m_form.reset(); }

    void doubleClickOnAnEmptyListDoesNothing()
    {
        MessageBoxCatcher boxes;
        QTest::mouseDClick(m_form->ListBox1->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(!m_form->EdgeBrowser1->view());
        QVERIFY(m_form->Panel2->isVisible());
        QVERIFY(!m_form->Image1->picture().isNull());
        QVERIFY(boxes.seen().isEmpty());
    }

    void aLessonPlaysAndTheWelcomePanelGoes()
    {
        MessageBoxCatcher boxes;
        chooseFirstCourse();
        // Under the welcome panel, the player is not on offer before the first play.
        QVERIFY(!playerReportedShowing());
        doubleClickLesson(1);
        QVERIFY(m_form->EdgeBrowser1->isCreated());
        QVERIFY(!m_form->Panel2->isVisible());
        QVERIFY(playerReportedShowing());
        QVERIFY(m_form->Image1->picture().isNull()); // hidden for good: nothing keeps the banner
        QVERIFY(waitJs(QStringLiteral("document.getElementById('vid') !== null")));
        QCOMPARE(js(QStringLiteral("document.getElementById('vid').currentSrc")).toString(),
            m_clipUrl + QStringLiteral("?lesson=2"));
        // Autoplay with sound, no click on the page.
        QVERIFY(videoRunsOn());
        QCOMPARE(m_form->EdgeBrowser1->view()->geometry(), m_form->EdgeBrowser1->rect());
        QCOMPARE(m_form->EdgeBrowser1->geometry(), m_form->Panel1->contentsRect());

        // The next lesson replaces the page at once.
        doubleClickLesson(0);
        QVERIFY(waitJs(QStringLiteral("document.getElementById('vid').currentSrc.endsWith('?lesson=1')")));
        QVERIFY(!m_form->Panel2->isVisible());
        QVERIFY(boxes.seen().isEmpty());
    }

    // Around a letterboxed video the page shows the window's black, not a white page;
    // the page itself is as built, with no style of ours in it.
    void theLetterboxIsTheWindowsBlack()
    {
        chooseFirstCourse();
        doubleClickLesson(0);
        QVERIFY(videoRunsOn());
        QCOMPARE(js(QStringLiteral("document.querySelectorAll('style, [style]').length")).toInt(), 0);
        QCOMPARE(js(QStringLiteral("getComputedStyle(document.body).backgroundColor")).toString(),
            QStringLiteral("rgba(0, 0, 0, 0)"));
        QWidget *view = m_form->EdgeBrowser1->view();
        const QPoint topLeft = view->mapToGlobal(QPoint(0, 0));
        const QRect area(topLeft, view->size());
        // The page's margin at the four corners, and the area below the video element.
        const QList<QPoint> ground = { area.topLeft() + QPoint(2, 2), area.topRight() + QPoint(-2, 2),
            area.bottomLeft() + QPoint(2, -2), area.bottomRight() + QPoint(-2, -2) };
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const QImage shown = view->screen()->grabWindow(0).toImage();
                for (const QPoint &p : ground) {
                    if (QColor(shown.pixel(p)) != QColor(Qt::black))
                        return false;
                }
                return true;
            }(),
            10000);
    }

    // Tab leaves the player in one step, either way: the page's own stops (the video's
    // controls) are not shown while it plays.
    void tabLeavesThePlayerInOneStep_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("next");
        QTest::newRow("Tab") << int(Qt::Key_Tab) << int(Qt::NoModifier) << QStringLiteral("AdvComboBox1");
        QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab) << int(Qt::ShiftModifier)
                                   << QStringLiteral("ListBox1");
    }
    void tabLeavesThePlayerInOneStep()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, next);
        chooseFirstCourse();
        doubleClickLesson(0);
        QVERIFY(videoRunsOn());
        QTRY_VERIFY(m_form->isActiveWindow());
        QTRY_VERIFY(input());
        input()->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(input()->hasFocus());
        QTest::keyClick(m_form->windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTRY_VERIFY(
            QApplication::focusWidget() && !m_form->EdgeBrowser1->isAncestorOf(QApplication::focusWidget()));
        QCOMPARE(QApplication::focusWidget()->objectName(), next);
        // And back in one step the other way.
        QTest::keyClick(m_form->windowHandle(), key == Qt::Key_Tab ? Qt::Key_Backtab : Qt::Key_Tab,
            key == Qt::Key_Tab ? Qt::ShiftModifier : Qt::NoModifier);
        QTRY_VERIFY(input()->hasFocus());
    }

    void fullScreenTogglesTheChrome()
    {
        chooseFirstCourse();
        doubleClickLesson(0);
        QVERIFY(videoRunsOn());
        QSignalSpy changes(m_form->EdgeBrowser1, &orvy::ui::EdgeBrowser::containsFullScreenElementChanged);

        QTRY_VERIFY(m_form->isActiveWindow());
        enterFullScreenByGesture();
        QTRY_COMPARE(changes.size(), 1);
        verifyPlayerAlone();
        QVERIFY(m_form->isVisible());
        QVERIFY(m_form->EdgeBrowser1->view());

        // The keyboard stays with the player across the frame change.
        QTRY_VERIFY(m_form->isActiveWindow());
        QTRY_VERIFY(input() && input()->hasFocus());
        QTest::keyClick(m_form->windowHandle(), Qt::Key_Escape);
        QTRY_COMPARE(changes.size(), 2);
        verifyNormalChrome();
        // The same page survived the frame change and plays on.
        QVERIFY(videoRunsOn());
    }

    void notificationsToggleByTheWindowsOwnState()
    {
        chooseFirstCourse();
        doubleClickLesson(0);
        // The flag is not read: two notifications saying the same thing still toggle.
        Q_EMIT m_form->EdgeBrowser1->containsFullScreenElementChanged(true);
        verifyPlayerAlone();
        Q_EMIT m_form->EdgeBrowser1->containsFullScreenElementChanged(true);
        verifyNormalChrome();
    }

    // A burst of notifications can leave the toggled chrome apart from the page (one lost,
    // one doubled): once they pause, the page's own state wins.
    void theChromeFollowsThePageOnceItSettles_data()
    {
        QTest::addColumn<bool>("pageFullScreen");
        QTest::newRow("a notification the page never made") << false;
        QTest::newRow("a notification too many while the page is full screen") << true;
    }
    void theChromeFollowsThePageOnceItSettles()
    {
        QFETCH(bool, pageFullScreen);
        chooseFirstCourse();
        doubleClickLesson(0);
        QVERIFY(videoRunsOn());
        if (pageFullScreen) {
            QTRY_VERIFY(m_form->isActiveWindow());
            enterFullScreenByGesture();
            QTRY_VERIFY(m_form->EdgeBrowser1->containsFullScreenElement());
            QTRY_COMPARE(m_form->Tag, 1);
        }
        // The stray notification toggles at once, as every notification does...
        Q_EMIT m_form->EdgeBrowser1->containsFullScreenElementChanged(!pageFullScreen);
        QCOMPARE(m_form->Tag, pageFullScreen ? 0 : 1);
        // ...and the page's state is back a moment later.
        QTRY_COMPARE_WITH_TIMEOUT(m_form->Tag, pageFullScreen ? 1 : 0, 10000);
        if (pageFullScreen)
            verifyPlayerAlone();
        else
            verifyNormalChrome();
    }

    // The page's render process ends while a lesson shows: the lesson comes back once; a
    // second end is reported, never a silent black player.
    void aRenderProcessThatEndsIsNotASilentBlackPlayer()
    {
        MessageBoxCatcher boxes;
        chooseFirstCourse();
        doubleClickLesson(1);
        QVERIFY(videoRunsOn());
        const auto killRenderer = [this] {
            const qint64 pid = page()->renderProcessPid();
            QVERIFY(pid > 0);
            QSignalSpy ended(page(), &QWebEnginePage::renderProcessTerminated);
            QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
            QVERIFY(ended.wait(20000));
        };
        killRenderer();
        // The same lesson plays again, in a new render process.
        QTRY_VERIFY_WITH_TIMEOUT(page()->renderProcessPid() > 0, 20000);
        QVERIFY(waitJs(QStringLiteral("document.getElementById('vid') !== null")));
        QCOMPARE(js(QStringLiteral("document.getElementById('vid').currentSrc")).toString(),
            m_clipUrl + QStringLiteral("?lesson=2"));
        QVERIFY(videoRunsOn());
        QVERIFY(boxes.seen().isEmpty());

        killRenderer();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.seen().size(), 1, 20000);
        QVERIFY2(boxes.texts().first().startsWith(QStringLiteral("The video player stopped: The browser's render "
                                                                 "process was killed")),
            qPrintable(boxes.texts().first()));
        QCOMPARE(m_form->Tag, 0);

        // A lesson chosen again plays, and has its own reload.
        doubleClickLesson(0);
        QVERIFY(waitJs(QStringLiteral("document.getElementById('vid') !== null")));
        QVERIFY(videoRunsOn());
        killRenderer();
        QTRY_VERIFY_WITH_TIMEOUT(page()->renderProcessPid() > 0, 20000);
        QVERIFY(waitJs(QStringLiteral("document.getElementById('vid') !== null")));
        QCOMPARE(js(QStringLiteral("document.getElementById('vid').currentSrc")).toString(),
            m_clipUrl + QStringLiteral("?lesson=1"));
        QVERIFY(videoRunsOn());
        QCOMPARE(boxes.seen().size(), 1);
    }

    void playingWithTheSidePanelClosedKeepsItClosed()
    {
        chooseFirstCourse();
        QTest::mouseClick(m_form->imgMenu, Qt::LeftButton);
        QTRY_COMPARE(m_form->SV->width(), 0);
        doubleClickLesson(0);
        QTest::qWait(100);
        QCOMPARE(m_form->SV->width(), 0);
        QCOMPARE(m_form->Panel1->width(), m_form->width());

        Q_EMIT m_form->EdgeBrowser1->containsFullScreenElementChanged(true);
        verifyPlayerAlone();
        Q_EMIT m_form->EdgeBrowser1->containsFullScreenElementChanged(false);
        verifyNormalChrome();
    }

    void theLastLessonAskedForWinsDuringCreation()
    {
        chooseFirstCourse();
        // The second double click lands while the first play waits for the browser.
        QTimer::singleShot(0, m_form.get(), [this] { doubleClickLesson(1); });
        doubleClickLesson(0);
        QVERIFY(waitJs(QStringLiteral("document.getElementById('vid') !== null")));
        QTest::qWait(500);
        QCOMPARE(js(QStringLiteral("document.getElementById('vid').currentSrc")).toString(),
            m_clipUrl + QStringLiteral("?lesson=2"));
    }

    void f11IsSwallowedInsideThePlayer()
    {
        chooseFirstCourse();
        doubleClickLesson(0);
        QVERIFY(videoRunsOn());
        js(QStringLiteral("window.keysSeen = []; document.addEventListener('keydown', e => { "
                          "if (!['Shift', 'Control', 'Alt', 'Meta'].includes(e.key)) "
                          "window.keysSeen.push(e.key + (e.shiftKey ? '+shift' : '')); }, true); true"));
        QSignalSpy zoomed(m_form->zoom, &QAction::triggered);
        QTRY_VERIFY(m_form->isActiveWindow());
        m_form->EdgeBrowser1->view()->setFocus();
        QTRY_VERIFY(input());
        input()->setFocus();
        QTest::keyClick(m_form->windowHandle(), Qt::Key_F11);
        // With a modifier the key is not the command's: it reaches the page.
        QTest::keyClick(m_form->windowHandle(), Qt::Key_F11, Qt::ShiftModifier);
        QTest::keyClick(m_form->windowHandle(), Qt::Key_A);
        QVERIFY(waitJs(QStringLiteral("window.keysSeen.includes('a')")));
        QCOMPARE(zoomed.count(), 1);
        QCOMPARE(js(QStringLiteral("window.keysSeen.join(',')")).toString(), QStringLiteral("F11+shift,a"));
    }

    void closingDuringPlayback()
    {
        MessageBoxCatcher boxes;
        chooseFirstCourse();
        doubleClickLesson(0);
        QVERIFY(videoRunsOn());
        QVERIFY(m_form->close());
        QVERIFY(!m_form->EdgeBrowser1->view());
        QVERIFY(!m_form->tmpLinks);
        QVERIFY(boxes.seen().isEmpty());
    }

    // The engine takes a page given as a string only up to a size (as a percent-encoded
    // data: address of at most 2 MiB); past it, it would silently keep the previous page.
    void tooLongALinkStopsThePlayer_data()
    {
        QTest::addColumn<int>("overLimit");
        QTest::newRow("the longest that fits plays") << 0;
        QTest::newRow("one more character is refused") << 1;
    }
    void tooLongALinkStopsThePlayer()
    {
        QFETCH(int, overLimit);
        const QString start = m_clipUrl + QStringLiteral("?lesson=3&pad=");
        const qsizetype address = QByteArrayLiteral("data:text/html;charset=UTF-8,").size()
            + orvy::player::buildPlayerPage(start).toUtf8().toPercentEncoding().size();
        const qsizetype pad = 2 * 1024 * 1024 - address + overLimit; // "a" is not encoded
        const QString link = start + QString(pad, u'a');
        // A column wide enough for such a link.
        m_fixture.sql(QStringLiteral("ALTER TABLE lessons MODIFY LLink MEDIUMTEXT;"
                                     "UPDATE lessons SET LLink = CONCAT(%1, REPEAT('a', %2)) "
                                     "WHERE cID = 10 AND LSORT = 3;")
                          .arg(orvy::test::MariaDbServer::quoted(start))
                          .arg(pad));

        MessageBoxCatcher boxes;
        chooseFirstCourse();
        QCOMPARE(m_form->tmpLinks->value(2), link);
        doubleClickLesson(0);
        QVERIFY(videoRunsOn());
        QElapsedTimer timer;
        timer.start();
        doubleClickLesson(2);
        if (overLimit == 0) {
            QVERIFY(waitJs(QStringLiteral("document.querySelector('source') !== null && "
                                          "document.querySelector('source').getAttribute('src').length == %1")
                               .arg(link.size())));
            QVERIFY(boxes.seen().isEmpty());
        } else {
            QTRY_COMPARE(boxes.texts(),
                QStringList {
                    QStringLiteral("This lesson cannot be played: its link is too long (%1 characters)")
                        .arg(link.size()) });
            // The previous lesson is gone, not left playing.
            QVERIFY(waitJs(QStringLiteral("document.getElementById('vid') === null")));
            QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        }
    }
};

QTEST_MAIN(TestPlayerWindow)
#include "tst_playerwindow.moc"
