// The main window: its layout, side panel, keyboard command, closing, and the
// start-up loading against a real catalogue database and banner server.
#include "data/connection.h"
#include "formfixture.h"
#include "testpaths.h"
#include "ui/bannerimage.h"
#include "ui/browser/edgebrowser.h"
#include "ui/flatbutton.h"
#include "ui/tform1.h"
#include "ui/widgets/lessonlist.h"
#include "ui/widgets/rtlcombobox.h"
#include "ui/widgets/sidepanel.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <thread>

using orvy::test::FormFixture;
using orvy::test::MessageBoxCatcher;
using orvy::ui::TForm1;

namespace {

QStringList itemTexts(const orvy::ui::RtlComboBox *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->itemText(i));
    return texts;
}

QList<qint32> itemIds(const orvy::ui::RtlComboBox *list)
{
    QList<qint32> ids;
    for (int i = 0; i < list->count(); ++i)
        ids.append(list->attachedInteger(i));
    return ids;
}

QColor textColour(const QWidget *label)
{
    return label->palette().color(label->foregroundRole());
}

// Records every key press that reaches it.
class KeyProbe : public QWidget {
public:
    using QWidget::QWidget;
    QList<QKeyCombination> pressed;

protected:
    void keyPressEvent(QKeyEvent *event) override { pressed.append(event->keyCombination()); }
};

} // namespace

class TestForm : public QObject {
    Q_OBJECT

private:
    FormFixture m_fixture;

    // Settings for the account `busy`, made anew with the given limits (a WITH clause) and
    // dropped by the returned guard; short waits while busy, and a random source that
    // notes whether the busy cursor shows whenever a pause is drawn.
    orvy::ui::FormSettings busyAccount(const QString &limits, QList<bool> *cursorAtPauses)
    {
        m_fixture.sql(QStringLiteral("DROP USER IF EXISTS busy; CREATE USER busy@'%' IDENTIFIED BY "
                                     "'pw12charsBSY' WITH %1; GRANT SELECT ON orvy.* TO busy@'%';")
                          .arg(limits));
        auto settings = m_fixture.settings();
        settings.db.user = QStringLiteral("busy");
        settings.db.password = QStringLiteral("pw12charsBSY");
        settings.db.busyFirstPauseMs = 100;
        settings.db.busyTotalMs = 800;
        settings.db.random = [cursorAtPauses] {
            const QCursor *cursor = QGuiApplication::overrideCursor();
            cursorAtPauses->append(cursor && cursor->shape() == Qt::BitmapCursor);
            return 0x80000000u;
        };
        return settings;
    }

    std::unique_ptr<TForm1> makeForm(QSize size = { TForm1::designWidth, TForm1::designHeight })
    {
        return m_fixture.showForm(size);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_fixture.start(&error), qPrintable(error));
    }

    void init()
    {
        m_fixture.seedCatalogue();
        m_fixture.fatalExits.clear();
        m_fixture.openedLinks.clear();
    }

    void layout_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("design size") << 1152 << 737;
        QTest::newRow("wider screen") << 1600 << 900;
    }
    void layout()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        MessageBoxCatcher boxes;
        auto form = makeForm({ width, height });
        QVERIFY(form);
        QCOMPARE(form->size(), QSize(width, height));
        const int grow = width - TForm1::designWidth;

        // Widgets come in their creation order: later siblings lie above earlier ones.
        const QObjectList children = form->children();
        QVERIFY(children.indexOf(form->Panel1) < children.indexOf(form->pnlToolbar));
        QVERIFY(children.indexOf(form->SV) < children.indexOf(form->Panel2));
        QCOMPARE(form->Tag, 0);

        QCOMPARE(form->pnlToolbar->geometry(), QRect(0, 0, width, 50));
        // Right edge and height as designed; wider only if the font needs it.
        QCOMPARE(form->lblTitle->geometry().right(), 1014 + grow + 78);
        QCOMPARE(form->lblTitle->geometry().top(), 10);
        QCOMPARE(form->lblTitle->height(), 31);
        QVERIFY(form->lblTitle->width() >= std::max(79, form->lblTitle->sizeHint().width()));
        QCOMPARE(form->imgMenu->geometry(), QRect(1109 + grow, 9, 32, 32));
        QCOMPARE(form->AdvComboBox1->geometry(), QRect(616 + grow, 11, 279, 28));
        QCOMPARE(form->AdvComboBox2->geometry(), QRect(208 + grow, 11, 259, 28));
        QCOMPARE(form->AdvComboBox3->geometry(), QRect(16, 11, 41 + grow, 28));
        for (const auto *list : { form->AdvComboBox1, form->AdvComboBox2, form->AdvComboBox3 }) {
            const auto *caption = form->findChild<QLabel *>(list->objectName() + QStringLiteral("Caption"));
            QVERIFY(caption);
            QCOMPARE(caption->x(), list->geometry().right() + 1 + 4);
            QCOMPARE(caption->y(), list->y() + (list->height() - caption->height()) / 2);
        }

        QCOMPARE(form->SV->geometry(), QRect(width - 165, 50, 165, height - 50));
        QCOMPARE(form->userInfoPanel->geometry(), QRect(0, 0, 165, height - 50));
        const QRect content(0, 50, width - 165, height - 50);
        QCOMPARE(form->contentArea(), content);
        QCOMPARE(form->Panel1->geometry(), content);
        QCOMPARE(form->Panel2->geometry(), content);
        QVERIFY(form->Panel2->isVisible());
        QCOMPARE(form->ListBox1->width(), 159);

        // The welcome panel: the banner strip grows with the panel one-for-one.
        QCOMPARE(form->Image1->height(), 376 + (height - 737));
        QCOMPARE(form->Panel3->height(), 230);
        QCOMPARE(form->Panel3->geometry().bottom(), form->Panel2->height() - 2);
        // The lower group stays centred.
        const int panelCentre = form->Panel3->width() / 2;
        QVERIFY(qAbs(form->Label5->geometry().center().x() - panelCentre) <= 2);
        QVERIFY(qAbs(form->Panel5->geometry().center().x() - panelCentre) <= 2);
        QVERIFY(form->Image4->x() < form->Image3->x() && form->Image3->x() < form->Image6->x());
        QVERIFY(boxes.seen().isEmpty());

        // A picture of the window to look at, under the build folder.
        QDir().mkpath(QStringLiteral(ORVY_BINARY_DIR "/screenshots"));
        QVERIFY(form->grab().save(
            QStringLiteral(ORVY_BINARY_DIR "/screenshots/window-%1x%2.png").arg(width).arg(height)));
    }

    void bannerCentredInStrip()
    {
        MessageBoxCatcher boxes;
        auto form = makeForm();
        QVERIFY(form);
        const QImage shot = form->Image1->grab().toImage();
        const QPoint origin((form->Image1->width() - 301) / 2, (form->Image1->height() - 121) / 2);
        QCOMPARE(QColor(shot.pixel(origin + QPoint(150, 60))), QColor(Qt::red));
        // The transparent corner shows the panel's black.
        QCOMPARE(QColor(shot.pixel(origin + QPoint(2, 2))), QColor(Qt::black));
    }

    void sidePanelAnimationMovesTheContent()
    {
        MessageBoxCatcher boxes;
        auto form = makeForm();
        QVERIFY(form);
        const int right = form->SV->geometry().right();
        QList<int> svWidths, panelWidths, playerWidths;
        connect(form->SV, &orvy::ui::SidePanel::widthStepped, form.get(), [&](int w) {
            svWidths.append(w);
            panelWidths.append(form->Panel2->width());
            playerWidths.append(form->Panel1->width());
            QCOMPARE(form->SV->geometry().right(), right);
        });
        form->SV->setOpened(false);
        QTRY_COMPARE(svWidths, (QList<int> { 15, 0 }));
        QCOMPARE(panelWidths, (QList<int> { 1152 - 15, 1152 }));
        QCOMPARE(playerWidths, panelWidths);

        svWidths.clear();
        panelWidths.clear();
        form->SV->setOpened(true);
        QTRY_COMPARE(svWidths, (QList<int> { 150, 165 }));
        QCOMPARE(panelWidths, (QList<int> { 1152 - 150, 1152 - 165 }));
    }

    void f11IsSwallowedWithoutModifiers()
    {
        MessageBoxCatcher boxes;
        auto form = makeForm();
        QVERIFY(form);
        auto *probe = new KeyProbe(form.get());
        probe->setFocusPolicy(Qt::StrongFocus);
        probe->show();
        probe->setFocus();
        QSignalSpy zoomed(form->zoom, &QAction::triggered);

        QTest::keyClick(probe, Qt::Key_F11);
        QCOMPARE(zoomed.count(), 1);
        QVERIFY(probe->pressed.isEmpty());

        for (auto modifier : { Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier })
            QTest::keyClick(probe, Qt::Key_F11, modifier);
        QCOMPARE(zoomed.count(), 1);
        QCOMPARE(std::count_if(probe->pressed.cbegin(), probe->pressed.cend(),
                     [](QKeyCombination k) { return k.key() == Qt::Key_F11; }),
            3);
    }

    void closingWithNothingCreated()
    {
        MessageBoxCatcher boxes;
        auto form = makeForm();
        QVERIFY(form);
        QVERIFY(form->tmpLinks);
        QVERIFY(!form->EdgeBrowser1->view());
        QVERIFY(form->close());
        QVERIFY(!form->tmpLinks);
        QVERIFY(boxes.seen().isEmpty());
    }

    void fullStartup()
    {
        MessageBoxCatcher boxes;
        auto form = makeForm();
        QVERIFY(form);
        QVERIFY(boxes.seen().isEmpty());
        QVERIFY(!form->startupFailed());

        const QStringList courses { QStringLiteral("فێربوونی C++"), QStringLiteral("Python"),
            QStringLiteral("العربية"), QString() };
        for (const auto *list : { form->AdvComboBox1, form->AdvComboBox2 }) {
            QCOMPARE(itemTexts(list), courses);
            QCOMPARE(itemIds(list), (QList<qint32> { 10, 20, 30, 40 }));
            QCOMPARE(list->currentIndex(), -1);
        }
        QCOMPARE(itemTexts(form->AdvComboBox3),
            (QStringList { QStringLiteral("گشتی"), QStringLiteral("بەرنامەسازی"), QStringLiteral("زمان"),
                QStringLiteral("بەتاڵ") }));
        QCOMPARE(itemIds(form->AdvComboBox3), (QList<qint32> { 0, 1, 2, 3 }));
        QCOMPARE(form->AdvComboBox3->currentIndex(), 0);
        QCOMPARE(form->ListBox1->count(), 0);
        QVERIFY(form->tmpLinks && form->tmpLinks->isEmpty());
        QCOMPARE(form->Label3->text(), QStringLiteral("..."));

        QCOMPARE(form->Label5->text(), QStringLiteral("بەخێربێن"));
        QCOMPARE(form->Label4->text(), QStringLiteral("پەیوەندی"));
        QCOMPARE(form->Label8->text(), QStringLiteral("فێربوون"));
        QCOMPARE(form->Label7->text(), QStringLiteral("+964 750"));
        QCOMPARE(form->Label9->plainText(), QStringLiteral("https://orvy.example/"));
        QCOMPARE(form->Image1->picture().convertToFormat(QImage::Format_ARGB32),
            m_fixture.banner().convertToFormat(QImage::Format_ARGB32));

        QCOMPARE(form->orvyInstagram, QStringLiteral("https://insta.example/orvy"));
        QCOMPARE(form->orvyWeb, QStringLiteral("https://orvy.example/"));
        QCOMPARE(form->fbLink, QStringLiteral("https://fb.example/orvy"));

        // The banner request carries only the program's own agent.
        const auto requests = m_fixture.http().requests();
        QVERIFY(!requests.isEmpty());
        QCOMPARE(requests.last().header("User-Agent"), QByteArray("Embarcadero URI Client/1.0"));
        QVERIFY(!requests.last().hasHeader("Accept"));
    }

    void colours_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QColor>("shown");
        QTest::newRow("white") << QStringLiteral("16777215") << QColor(Qt::white);
        QTest::newRow("red in the low byte") << QStringLiteral("255") << QColor(Qt::red);
        QTest::newRow("blue in the third byte") << QStringLiteral("$FF0000") << QColor(Qt::blue);
        QTest::newRow("green, 0x and blanks") << QStringLiteral("  0x00FF00") << QColor(Qt::green);
        QTest::newRow("blanks on both sides") << QStringLiteral(" 12 ") << QColor(12, 0, 0);
    }
    void colours()
    {
        QFETCH(QString, stored);
        QFETCH(QColor, shown);
        m_fixture.sql(QStringLiteral("UPDATE interface SET lblColor1 = %1, lblColor2 = %1, lblColor3 = %1")
                          .arg(orvy::test::MariaDbServer::quoted(stored)));
        MessageBoxCatcher boxes;
        auto form = makeForm();
        QVERIFY(form);
        QVERIFY(boxes.seen().isEmpty());
        for (const QWidget *label : std::initializer_list<const QWidget *> {
                 form->Label5, form->Label4, form->Label8, form->Label7, form->Label9 })
            QCOMPARE(textColour(label), shown);
    }

    // Branding that cannot be used (no row, a banner that is no picture, a colour that is
    // no number): reported, and the window opens part-filled, its lists loaded all the same.
    void startupFailuresAreReported_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("textsLoaded");
        QTest::newRow("empty interface table")
            << QStringLiteral("DELETE FROM interface") << QStringLiteral("Invalid URL: \"\"") << false;
        QTest::newRow("banner answers 404 with a page")
            << QStringLiteral("UPDATE interface SET intPics = CONCAT(intPics, '-missing')")
            << QStringLiteral(
                   "The file being read is not a valid \"Portable Network Graphics\" image because it "
                   "contains an invalid header. This file may be corrupted, try obtaining it again.")
            << false;
        QTest::newRow("colour that is no number")
            << QStringLiteral("UPDATE interface SET lblColor2 = '12a'")
            << QStringLiteral("'12a' is not a valid integer value.") << true;
        QTest::newRow("colour written as a word")
            << QStringLiteral("UPDATE interface SET lblColor1 = 'abc'")
            << QStringLiteral("'abc' is not a valid integer value.") << true;
        QTest::newRow("colour written for the web")
            << QStringLiteral("UPDATE interface SET lblColor3 = '#FF0000'")
            << QStringLiteral("'#FF0000' is not a valid integer value.") << true;
    }
    void startupFailuresAreReported()
    {
        QFETCH(QString, change);
        QFETCH(QString, message);
        QFETCH(bool, textsLoaded);
        m_fixture.sql(change);
        MessageBoxCatcher boxes;
        auto form = makeForm();
        QVERIFY(form);
        QCOMPARE(boxes.texts(), QStringList { message });
        QCOMPARE(boxes.seen().first().icon, int(QMessageBox::Critical));
        QCOMPARE(boxes.seen().first().buttons, QStringList { QStringLiteral("OK") });
        QCOMPARE(boxes.seen().first().title, QStringLiteral("tst_form"));
        QVERIFY(!form->startupFailed());
        QCOMPARE(form->Label5->text(), textsLoaded ? QStringLiteral("بەخێربێن") : QString(38, u'A'));
        QCOMPARE(form->Label9->plainText(),
            textsLoaded ? QStringLiteral("https://orvy.example/") : QStringLiteral("http://"));
        QCOMPARE(form->AdvComboBox1->count(), 4);
        QCOMPARE(form->AdvComboBox2->count(), 4);
        QCOMPARE(form->AdvComboBox3->count(), 4);
        QCOMPARE(form->AdvComboBox3->currentIndex(), 0);
        QVERIFY(form->tmpLinks && form->tmpLinks->isEmpty());
        QVERIFY(form->fbLink.isEmpty());
        QVERIFY(m_fixture.fatalExits.isEmpty());
    }

    void unreachableDatabaseIsNotTheFatalMessage()
    {
        auto settings = m_fixture.settings();
        settings.db.password = QStringLiteral("wrong-password");
        MessageBoxCatcher boxes;
        TForm1 form(settings);
        QCOMPARE(boxes.seen().size(), 1);
        QVERIFY2(boxes.seen().first().text.contains(QStringLiteral("Access denied")),
            qPrintable(boxes.seen().first().text));
        QVERIFY(!form.startupFailed());
        QVERIFY(m_fixture.fatalExits.isEmpty());
        // A database failure before the lists leaves them unloaded.
        QCOMPARE(form.AdvComboBox1->count(), 0);
        QVERIFY(!form.tmpLinks);
    }

    // A server that stays busy while the program starts: it waits, the busy cursor showing,
    // then ends with the busy message and the server's words, never a window without
    // content; also when the limit is reached while the lists load, where any other failure
    // says the server was not found.
    void busyServerEndsTheStart_data()
    {
        QTest::addColumn<QString>("limits");
        QTest::addColumn<bool>("heldByAnother");
        QTest::addColumn<QString>("serverText");
        QTest::newRow("at the first connection")
            << "MAX_USER_CONNECTIONS 1" << true
            << "[MariaDB] User 'busy' has exceeded the 'max_user_connections' resource (current value: 1)";
        QTest::newRow("statement limit while the lists load")
            << "MAX_QUERIES_PER_HOUR 1" << false
            << "[MariaDB] User 'busy' has exceeded the 'max_queries_per_hour' resource (current value: 1)";
    }
    void busyServerEndsTheStart()
    {
        QFETCH(QString, limits);
        QFETCH(bool, heldByAnother);
        QFETCH(QString, serverText);
        QList<bool> cursorAtPauses;
        const auto settings = busyAccount(limits, &cursorAtPauses);
        const auto dropAccount = qScopeGuard([this] { m_fixture.sql(QStringLiteral("DROP USER busy")); });
        orvy::data::Connection other(settings.db);
        if (heldByAnother)
            other.open();

        MessageBoxCatcher boxes;
        QElapsedTimer timer;
        timer.start();
        TForm1 form(settings);
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(boxes.seen().size(), 1);
        const auto fatal = boxes.seen().first();
        QCOMPARE(fatal.title, QStringLiteral("خطأ"));
        QCOMPARE(
            fatal.text, QStringLiteral("السيرفر مشغول الآن، يرجى المحاولة مرة أخرى لاحقاً\n") + serverText);
        QCOMPARE(fatal.icon, int(QMessageBox::Critical));
        QCOMPARE(fatal.buttons, QStringList { QStringLiteral("OK") });
        QVERIFY(!fatal.hadParent);
        QVERIFY(form.startupFailed());
        QCOMPARE(m_fixture.fatalExits, QList<int> { 1 });
        // It waited the time it was given (100, 200, 400 ms, then the rest), the busy cursor
        // showing throughout.
        QVERIFY2(elapsed >= 800, qPrintable(QString::number(elapsed)));
        QVERIFY2(cursorAtPauses.size() >= 3, qPrintable(QString::number(cursorAtPauses.size())));
        QVERIFY(!cursorAtPauses.contains(false));
    }

    // The limit lifted while the program waits: it starts as if nothing had happened.
    void busyServerFreedWhileWaiting()
    {
        QList<bool> cursorAtPauses;
        auto settings = busyAccount(QStringLiteral("MAX_USER_CONNECTIONS 1"), &cursorAtPauses);
        settings.db.busyTotalMs = 20000;
        const auto dropAccount = qScopeGuard([this] { m_fixture.sql(QStringLiteral("DROP USER busy")); });
        orvy::data::Connection other(settings.db);
        other.open();
        std::thread leaving([&other] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            other.close();
        });

        MessageBoxCatcher boxes;
        TForm1 form(settings);
        leaving.join();
        QVERIFY2(boxes.seen().isEmpty(), qPrintable(boxes.texts().join(u'\n')));
        QVERIFY(!form.startupFailed());
        QVERIFY(!cursorAtPauses.isEmpty());
        QCOMPARE(form.AdvComboBox1->count(), 4);
        QCOMPARE(form.AdvComboBox3->count(), 4);
        QCOMPARE(form.Label5->text(), QStringLiteral("بەخێربێن"));
    }

    // After the start, a busy server is reported at once, as any other error of a course choice.
    void busyServerAfterTheStartIsReportedAtOnce()
    {
        QList<bool> cursorAtPauses;
        const auto settings = busyAccount(QStringLiteral("MAX_QUERIES_PER_HOUR 4"), &cursorAtPauses);
        const auto dropAccount = qScopeGuard([this] { m_fixture.sql(QStringLiteral("DROP USER busy")); });
        MessageBoxCatcher boxes;
        TForm1 form(settings);
        form.resize(TForm1::designWidth, TForm1::designHeight);
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QVERIFY(boxes.seen().isEmpty()); // the start's four statements were within the limit

        QElapsedTimer timer;
        timer.start();
        orvy::test::chooseFirstCourse(form);
        QTRY_COMPARE(boxes.seen().size(), 1);
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(boxes.texts(),
            QStringList { QStringLiteral("[MariaDB] User 'busy' has exceeded the 'max_queries_per_hour' "
                                         "resource (current value: 4)") });
        QCOMPARE(boxes.seen().first().title, QStringLiteral("tst_form"));
        QVERIFY(cursorAtPauses.isEmpty());
        QVERIFY(m_fixture.fatalExits.isEmpty());
    }

    void emptyTablesGiveEmptyLists()
    {
        m_fixture.sql(QStringLiteral("DELETE FROM classtype; DELETE FROM courses;"));
        MessageBoxCatcher boxes;
        auto form = makeForm();
        QVERIFY(form);
        QVERIFY(boxes.seen().isEmpty());
        QCOMPARE(form->AdvComboBox1->count(), 0);
        QCOMPARE(form->AdvComboBox2->count(), 0);
        QCOMPARE(itemTexts(form->AdvComboBox3), QStringList { QStringLiteral("گشتی") });
        QCOMPARE(form->AdvComboBox3->currentIndex(), 0);
        QVERIFY(form->tmpLinks);
    }

    void listFailureEndsTheProgram_data()
    {
        QTest::addColumn<QString>("table");
        QTest::newRow("courses") << QStringLiteral("courses");
        QTest::newRow("classtype") << QStringLiteral("classtype");
    }
    void listFailureEndsTheProgram()
    {
        QFETCH(QString, table);
        m_fixture.sql(QStringLiteral("RENAME TABLE %1 TO %1_away").arg(table));
        MessageBoxCatcher boxes;
        auto form = std::make_unique<TForm1>(m_fixture.settings());
        m_fixture.sql(QStringLiteral("RENAME TABLE %1_away TO %1").arg(table));

        QCOMPARE(boxes.seen().size(), 1);
        const auto fatal = boxes.seen().first();
        QCOMPARE(fatal.title, QStringLiteral("خطأ"));
        QCOMPARE(fatal.text, QStringLiteral("لم يتم العثور على السيرفر"));
        QCOMPARE(fatal.icon, int(QMessageBox::Critical));
        QCOMPARE(fatal.buttons, QStringList { QStringLiteral("OK") });
        QVERIFY(!fatal.hadParent);
        QVERIFY(form->startupFailed());
        // A failure must not end the process as a success.
        QCOMPARE(m_fixture.fatalExits, QList<int> { 1 });
    }

    void linkIconsOpenTheirLinks()
    {
        m_fixture.sql(QStringLiteral("UPDATE interface SET fbLink = ''"));
        MessageBoxCatcher boxes;
        auto form = makeForm();
        QVERIFY(form);
        QTest::mouseClick(form->Image3, Qt::LeftButton);
        QTest::mouseClick(form->Image4, Qt::LeftButton);
        QTest::mouseClick(form->Label9, Qt::LeftButton);
        QTest::mouseClick(form->Image6, Qt::LeftButton);
        QCOMPARE(m_fixture.openedLinks,
            (QStringList { QStringLiteral("https://insta.example/orvy"),
                QStringLiteral("https://orvy.example/"), QStringLiteral("https://orvy.example/"),
                QString() }));
        QVERIFY(boxes.seen().isEmpty());
        for (QWidget *w : { static_cast<QWidget *>(form->Image3), static_cast<QWidget *>(form->Image4),
                 static_cast<QWidget *>(form->Image6), static_cast<QWidget *>(form->Label9) })
            QCOMPARE(w->cursor().shape(), Qt::PointingHandCursor);
    }
};

QTEST_MAIN(TestForm)
#include "tst_form.moc"
