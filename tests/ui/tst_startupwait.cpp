// The program's own small window while start-up waits (a busy server, a silent one, a slow
// banner), under a real window manager: it is on the screen within 1.5 s, titled and with
// the busy cursor, and gone once the main window or the fatal message shows.

#include "data/connection.h"
#include "formfixture.h"
#include "ui/startupwait.h"
#include "ui/tform1.h"

#include <QApplication>
#include <QBuffer>
#include <QLabel>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTest>
#include <QWindow>

using orvy::test::FormFixture;
using orvy::test::HttpServer;
using orvy::test::MessageBoxCatcher;
using orvy::ui::TForm1;

namespace {

enum class Wait { None, Busy, Silent, SlowBanner };

QWidget *waitWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("startupWait") && widget->isVisible())
            return widget;
    return nullptr;
}

// What was on the screen at one moment of the start-up.
struct Look {
    bool shown = false;
    bool exposed = false;
    QString title;
    QString text;
    Qt::CursorShape cursor = Qt::ArrowCursor;
    QRect geometry;
};

Look lookNow()
{
    Look look;
    QWidget *window = waitWindow();
    if (!window)
        return look;
    look.shown = true;
    look.exposed = window->windowHandle() && window->windowHandle()->isExposed();
    look.title = window->windowTitle();
    if (auto *line = window->findChild<QLabel *>(QStringLiteral("startupWaitText")))
        look.text = line->text();
    look.cursor = window->cursor().shape();
    look.geometry = window->frameGeometry();
    return look;
}

} // namespace

Q_DECLARE_METATYPE(Wait)

class TestStartupWait : public QObject {
    Q_OBJECT

private:
    FormFixture m_fixture;

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_fixture.start(&error), qPrintable(error));
        m_fixture.seedCatalogue();
    }

    void shownWhileStartupWaits_data()
    {
        QTest::addColumn<Wait>("wait");
        QTest::addColumn<bool>("expectWindow");
        QTest::addColumn<int>("boxes"); // messages during start-up
        QTest::newRow("nothing to wait for") << Wait::None << false << 0;
        QTest::newRow("busy server, the fatal message at the end") << Wait::Busy << true << 1;
        QTest::newRow("silent server, its time-out reported") << Wait::Silent << true << 1;
        QTest::newRow("slow banner") << Wait::SlowBanner << true << 0;
    }
    void shownWhileStartupWaits()
    {
        QFETCH(Wait, wait);
        QFETCH(bool, expectWindow);
        QFETCH(int, boxes);

        auto settings = m_fixture.settings();
        std::unique_ptr<orvy::data::Connection> holder;
        QTcpServer silent; // takes connections (the system does) and never says a word
        const auto undo = qScopeGuard([this] {
            m_fixture.sql(QStringLiteral("DROP USER IF EXISTS busy"));
            m_fixture.seedCatalogue();
        });
        switch (wait) {
        case Wait::None:
            break;
        case Wait::Busy:
            m_fixture.sql(QStringLiteral("DROP USER IF EXISTS busy; CREATE USER busy@'%' IDENTIFIED BY "
                                         "'pw12charsBSY' WITH MAX_USER_CONNECTIONS 1; "
                                         "GRANT SELECT ON orvy.* TO busy@'%';"));
            settings.db.user = QStringLiteral("busy");
            settings.db.password = QStringLiteral("pw12charsBSY");
            settings.db.busyFirstPauseMs = 100;
            settings.db.busyTotalMs = 2500;
            holder = std::make_unique<orvy::data::Connection>(settings.db);
            holder->open();
            break;
        case Wait::Silent:
            QVERIFY(silent.listen(QHostAddress::LocalHost));
            settings.db.host = QStringLiteral("127.0.0.1");
            settings.db.port = silent.serverPort();
            settings.db.connectTimeoutSeconds = 3;
            break;
        case Wait::SlowBanner: {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            m_fixture.banner().save(&buffer, "PNG");
            HttpServer::Response slow = HttpServer::Response::ok(png, "image/png");
            slow.mode = HttpServer::Mode::Trickle;
            slow.trickleIntervalMs = 250; // ten pieces: 2.5 s
            m_fixture.http().setRoute("/slow.png", slow);
            m_fixture.sql(QStringLiteral("UPDATE interface SET intPics = %1")
                              .arg(orvy::test::MariaDbServer::quoted(
                                  m_fixture.http().url(QStringLiteral("/slow.png")))));
            break;
        }
        }

        MessageBoxCatcher catcher;
        Look at1500;
        bool goneAtMessage = true;
        QTimer look;
        look.setSingleShot(true);
        QObject::connect(&look, &QTimer::timeout, [&at1500] { at1500 = lookNow(); });
        look.start(1500);
        // The catcher closes a message soon after it opens; the window is gone by then.
        QTimer atMessage;
        QObject::connect(&atMessage, &QTimer::timeout, [&goneAtMessage] {
            for (QWidget *widget : QApplication::topLevelWidgets())
                if (qobject_cast<QMessageBox *>(widget) && widget->isVisible() && waitWindow())
                    goneAtMessage = false;
        });
        atMessage.start(5);

        TForm1 form(settings);
        atMessage.stop();
        QCOMPARE(catcher.seen().size(), boxes);
        QVERIFY(goneAtMessage);
        if (!expectWindow) {
            QVERIFY(!at1500.shown);
            QVERIFY(!waitWindow());
            return;
        }
        QVERIFY(at1500.shown);
        QVERIFY(at1500.exposed); // mapped by the window manager, not only made
        QCOMPARE(at1500.title, QStringLiteral("Orvy Class"));
        QVERIFY(!at1500.text.isEmpty());
        QCOMPARE(at1500.cursor, Qt::BusyCursor);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(screen.contains(at1500.geometry),
            qPrintable(QStringLiteral("%1 %2").arg(at1500.geometry.width()).arg(at1500.geometry.height())));

        if (!form.startupFailed()) {
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
        }
        QTRY_VERIFY(!waitWindow());
    }
};

QTEST_MAIN(TestStartupWait)
#include "tst_startupwait.moc"
