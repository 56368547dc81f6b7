// The application shell's pieces: the theme and the default error report.
#include "core/error.h"
#include "ui/errorreport.h"
#include "ui/theme.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <stdexcept>

namespace {

struct SeenBox {
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
};

// Reads the next modal message box as it opens, then closes it.
void readNextMessageBox(SeenBox &seen)
{
    QTimer::singleShot(0, [&seen] {
        QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        seen.seen = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        for (QAbstractButton *b : box->buttons())
            seen.buttons.append(box->standardButton(b));
        box->done(0);
    });
}

} // namespace

class TestShell : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void themeFoundByNameInAnyCase_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("as named") << QStringLiteral("Windows10 Dark");
        QTest::newRow("lower") << QStringLiteral("windows10 dark");
        QTest::newRow("upper") << QStringLiteral("WINDOWS10 DARK");
    }
    void themeFoundByNameInAnyCase()
    {
        QFETCH(QString, name);
        const auto theme = orvy::ui::Theme::find(name);
        QVERIFY(theme);
        QCOMPARE(theme->name(), QStringLiteral("Windows10 Dark"));
        const QPalette &p = theme->palette();
        QCOMPARE(p.color(QPalette::Window), QColor(Qt::black));
        QCOMPARE(p.color(QPalette::Base), QColor(Qt::black));
        QCOMPARE(p.color(QPalette::Button), QColor(Qt::black));
        QCOMPARE(p.color(QPalette::WindowText), QColor(Qt::white));
        QCOMPARE(p.color(QPalette::Dark), QColor(0x33, 0x33, 0x33));
    }

    void unknownThemeIsReportedAndLeavesTheLook()
    {
        QVERIFY(!orvy::ui::Theme::find(QStringLiteral("Windows10 Dar")));
        const QPalette before = QApplication::palette();
        SeenBox seen;
        readNextMessageBox(seen);
        QVERIFY(!orvy::ui::applyThemeOrReport(*qApp, QStringLiteral("Carbon")));
        QVERIFY(seen.seen);
        QCOMPARE(seen.text, QStringLiteral("Style 'Carbon' not found"));
        QCOMPARE(seen.buttons, QList<QMessageBox::StandardButton> { QMessageBox::Close });
        QCOMPARE(QApplication::palette(), before);
    }

    void themeApplies()
    {
        QVERIFY(orvy::ui::applyThemeOrReport(*qApp, QStringLiteral("windows10 dark")));
        QCOMPARE(QApplication::palette().color(QPalette::Window), QColor(Qt::black));
    }

    void errorReport_data()
    {
        QTest::addColumn<std::function<void()>>("failure");
        QTest::addColumn<QString>("shown");
        QTest::newRow("program error")
            << std::function<void()>([] { throw orvy::Error(QStringLiteral("Lost")); })
            << QStringLiteral("Lost.");
        QTest::newRow("ends with quote")
            << std::function<void()>([] { throw orvy::Error(QStringLiteral("Invalid URL: \"\"")); })
            << QStringLiteral("Invalid URL: \"\"");
        QTest::newRow("standard exception")
            << std::function<void()>([] { throw std::runtime_error("bad alloc"); })
            << QStringLiteral("bad alloc.");
        QTest::newRow("anything else")
            << std::function<void()>([] { throw 42; }) << QStringLiteral("Unknown error.");
    }
    void errorReport()
    {
        QFETCH(std::function<void()>, failure);
        QFETCH(QString, shown);
        SeenBox seen;
        // Run as a handler of the event loop: after the report the loop must go on to
        // the next event, neither ended nor left.
        QEventLoop loop;
        bool nextEventHandled = false;
        QTimer::singleShot(0, &loop, [&] {
            readNextMessageBox(seen);
            orvy::ui::guarded(nullptr, failure);
            QTimer::singleShot(0, &loop, [&] {
                nextEventHandled = true;
                loop.exit(0);
            });
        });
        QTimer::singleShot(20000, &loop, [&] { loop.exit(2); });
        QCOMPARE(loop.exec(), 0);
        QVERIFY(nextEventHandled);
        QVERIFY(seen.seen);
        QCOMPARE(seen.text, shown);
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(seen.buttons, QList<QMessageBox::StandardButton> { QMessageBox::Ok });
        QCOMPARE(seen.title, QStringLiteral("tst_shell"));
    }

    void guardedRunsCleanHandlerWithoutReport()
    {
        bool ran = false;
        orvy::ui::guarded(nullptr, [&ran] { ran = true; });
        QVERIFY(ran);
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
