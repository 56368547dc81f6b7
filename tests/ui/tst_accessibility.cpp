// The window as assistive technology and a keyboard-only learner meet it: the
// accessibility tree's roles, names and states, the tab order, and the keys that
// click, toggle and play.
#include "formfixture.h"
#include "ui/browser/edgebrowser.h"
#include "ui/flatbutton.h"
#include "ui/tform1.h"
#include "ui/widgets/lessonlist.h"
#include "ui/widgets/rtlcombobox.h"
#include "ui/widgets/sidepanel.h"
#include "webutil.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cmath>

using orvy::test::FormFixture;
using orvy::test::MessageBoxCatcher;
using orvy::ui::TForm1;

namespace {

void collect(QAccessibleInterface *iface, QList<QAccessibleInterface *> &all, int depth = 0)
{
    // Deep enough for the window's widget tree, and an end should a child list loop.
    if (!iface || depth > 30)
        return;
    all.append(iface);
    for (int i = 0; i < iface->childCount(); ++i)
        collect(iface->child(i), all, depth + 1);
}

QString describe(QAccessibleInterface *iface)
{
    const QObject *object = iface->object();
    return QStringLiteral("%1 (%2, role %3)")
        .arg(object ? object->objectName() : QString(),
            object ? QString::fromLatin1(object->metaObject()->className()) : QString())
        .arg(int(iface->role()));
}

QStringList labelledBy(QAccessibleInterface *iface)
{
    QStringList labels;
    for (const auto &relation : iface->relations(QAccessible::Label))
        labels.append(relation.first->text(QAccessible::Name));
    return labels;
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

private:
    FormFixture m_fixture;
    std::unique_ptr<TForm1> m_form;

    QWidget *widget(const QString &name) const
    {
        auto *found = m_form->findChild<QWidget *>(name);
        if (!found)
            qWarning("no widget named %s", qPrintable(name));
        return found;
    }

    static QAccessibleInterface *iface(QObject *object)
    {
        return QAccessible::queryAccessibleInterface(object);
    }

    void press(int key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(m_form->windowHandle(), Qt::Key(key), modifiers);
    }

    QString focusName() const
    {
        QWidget *focus = QApplication::focusWidget();
        return focus ? focus->objectName() : QString();
    }

    // Gives the first list the focus as the keyboard does, by tabbing into the window.
    void focusFirstList()
    {
        QTRY_VERIFY(m_form->isActiveWindow());
        m_form->AdvComboBox1->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(focusName(), QStringLiteral("AdvComboBox1"));
    }

    QWebEnginePage *page() const { return m_form->EdgeBrowser1->page(); }
    bool waitJs(const QString &expression) const
    {
        return orvy::test::waitForJavaScript(page(), expression, 30000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_fixture.start(&error), qPrintable(error));
        m_fixture.seedCatalogue();
        // Lessons point at the local server, so a play fetches nothing from elsewhere.
        m_fixture.sql(
            QStringLiteral("UPDATE lessons SET LLink = CONCAT(%1, '?lesson=', LSORT)")
                .arg(orvy::test::MariaDbServer::quoted(m_fixture.http().url(QStringLiteral("/lesson.mp4")))));
    }

    void init()
    {
        MessageBoxCatcher boxes;
        m_fixture.openedLinks.clear();
        m_form = m_fixture.showForm();
        QVERIFY(m_form);
        QVERIFY(boxes.seen().isEmpty());
    }

    void cleanup() { m_form.reset(); }

    void controlsHaveRoleNameAndState_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("focusable");
        QTest::addColumn<bool>("hasDescription");
        QTest::addColumn<bool>("shown");

        const auto row = [](const char *object, QAccessible::Role role, const QString &name, bool focusable,
                             bool hasDescription = true, bool shown = true) {
            QTest::newRow(object) << QString::fromLatin1(object) << int(role) << name << focusable
                                  << hasDescription << shown;
        };
        // A list's name is what it shows, its caption when it shows nothing (its label,
        // below, names it either way).
        row("AdvComboBox1", QAccessible::ComboBox, QStringLiteral("کورسێن من"), true);
        row("AdvComboBox2", QAccessible::ComboBox, QStringLiteral("کورسێن ئۆرڤی کلاس"), true);
        row("AdvComboBox3", QAccessible::ComboBox, QStringLiteral("گشتی"), true);
        row("imgMenu", QAccessible::Button, QStringLiteral("مێنیو"), true);
        row("ListBox1", QAccessible::List, QStringLiteral("وانە"), true);
        row("Label3", QAccessible::StaticText, QStringLiteral("..."), false);
        row("SV", QAccessible::Client, QStringLiteral("کورس و وانە"), false, false);
        row("Panel2", QAccessible::Client, QStringLiteral("بخێرهاتن"), false, false);
        // The database's texts are read as shown.
        row("Label5", QAccessible::StaticText, QStringLiteral("بەخێربێن"), false);
        row("Label4", QAccessible::StaticText, QStringLiteral("پەیوەندی"), false);
        row("Label8", QAccessible::StaticText, QStringLiteral("فێربوون"), false);
        row("Label7", QAccessible::StaticText, QStringLiteral("+964 750"), false);
        row("Label9", QAccessible::Link, QStringLiteral("https://orvy.example/"), true);
        row("Image4", QAccessible::Link, QStringLiteral("مالپەرێ ئۆرڤی کلاس"), true);
        row("Image3", QAccessible::Link, QStringLiteral("ئینستاگرام"), true);
        row("Image6", QAccessible::Link, QStringLiteral("فەیسبووک"), true);
        // Hidden under the welcome panel until the first play.
        row("EdgeBrowser1", QAccessible::Client, QStringLiteral("ڤیدیۆیا وانێ"), false, true, false);
        row("lblTitle", QAccessible::StaticText, QStringLiteral("ئۆرڤی کلاس"), false, false);
    }

    void controlsHaveRoleNameAndState()
    {
        QFETCH(QString, object);
        QFETCH(int, role);
        QFETCH(QString, name);
        QFETCH(bool, focusable);
        QFETCH(bool, hasDescription);
        QFETCH(bool, shown);

        QWidget *w = widget(object);
        QVERIFY(w);
        QAccessibleInterface *a = iface(w);
        QVERIFY(a && a->isValid());
        QCOMPARE(int(a->role()), role);
        QCOMPARE(a->text(QAccessible::Name), name);
        QCOMPARE(!a->text(QAccessible::Description).isEmpty(), hasDescription);
        // One script in what is read out: a Latin word switches a screen reader's voice.
        static const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
        QVERIFY2(!a->text(QAccessible::Description).contains(latin),
            qPrintable(a->text(QAccessible::Description)));
        const QAccessible::State state = a->state();
        QCOMPARE(bool(state.focusable), focusable);
        QCOMPARE(!state.invisible, shown);
        QVERIFY(!state.disabled);
        // Reached from the window through the tree, as a screen reader walks it.
        QList<QAccessibleInterface *> all;
        collect(iface(m_form.get()), all);
        QVERIFY(all.contains(a));
    }

    void everyReachableControlIsNamed()
    {
        QList<QAccessibleInterface *> all;
        collect(iface(m_form.get()), all);
        QVERIFY(all.size() > 20);
        int focusable = 0;
        for (QAccessibleInterface *a : all) {
            const QAccessible::State state = a->state();
            // The controls themselves; items carry the database's texts as they are (a
            // course without a name is an empty item).
            if (!state.focusable || state.invisible || !qobject_cast<QWidget *>(a->object()))
                continue;
            ++focusable;
            QVERIFY2(a->role() != QAccessible::NoRole && a->role() != QAccessible::Client,
                qPrintable(describe(a)));
            QVERIFY2(!a->text(QAccessible::Name).trimmed().isEmpty(), qPrintable(describe(a)));
        }
        // Three lists, the menu button, the lesson list, the web-site caption, three icons.
        QCOMPARE(focusable, 9);
    }

    void captionsNameTheirLists()
    {
        for (auto *list : { m_form->AdvComboBox1, m_form->AdvComboBox2, m_form->AdvComboBox3 }) {
            QLabel *caption = list->captionLabel();
            QCOMPARE(caption->buddy(), list);
            QCOMPARE(labelledBy(iface(list)), QStringList { caption->text() });
        }
        // The name follows the caption, not a copy of it.
        m_form->AdvComboBox1Caption->setText(QStringLiteral("کورس"));
        QCOMPARE(iface(m_form->AdvComboBox1)->text(QAccessible::Name), QStringLiteral("کورس"));
        // A chosen course names the list; its caption still labels it.
        focusFirstList();
        press(Qt::Key_Down);
        QCOMPARE(m_form->ListBox1->count(), 3);
        QCOMPARE(iface(m_form->AdvComboBox1)->text(QAccessible::Name), m_form->AdvComboBox1->currentText());
        QCOMPARE(labelledBy(iface(m_form->AdvComboBox1)), QStringList { QStringLiteral("کورس") });
        // The course caption reads the chosen course.
        QCOMPARE(iface(m_form->Label3)->text(QAccessible::Name), m_form->AdvComboBox1->currentText());
        // The narrow list cuts long names on screen; a screen reader gets them whole.
        QAccessibleInterface *lessons = iface(m_form->ListBox1);
        QCOMPARE(lessons->childCount(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(lessons->child(i)->text(QAccessible::Name), m_form->ListBox1->item(i)->text());
    }

    void tabOrder()
    {
        const QStringList forward { QStringLiteral("AdvComboBox2"), QStringLiteral("AdvComboBox3"),
            QStringLiteral("imgMenu"), QStringLiteral("ListBox1"), QStringLiteral("Label9"),
            QStringLiteral("Image6"), QStringLiteral("Image3"), QStringLiteral("Image4"),
            QStringLiteral("AdvComboBox1") };
        focusFirstList();
        QStringList seen;
        for (int i = 0; i < forward.size(); ++i) {
            press(Qt::Key_Tab);
            seen.append(focusName());
        }
        QCOMPARE(seen, forward);

        seen.clear();
        for (int i = 0; i < forward.size(); ++i) {
            press(Qt::Key_Backtab, Qt::ShiftModifier);
            seen.append(focusName());
        }
        QStringList backward(forward.crbegin() + 1, forward.crend());
        backward.append(QStringLiteral("AdvComboBox1"));
        QCOMPARE(seen, backward);
    }

    void aClosedSidePanelIsSkipped()
    {
        focusFirstList();
        for (int i = 0; i < 3; ++i)
            press(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("imgMenu"));
        press(Qt::Key_Space);
        QTRY_COMPARE(m_form->SV->width(), 0);
        QVERIFY(iface(m_form->ListBox1)->state().invisible);
        QVERIFY(iface(m_form->imgMenu)->state().collapsed);
        press(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("Label9"));

        press(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focusName(), QStringLiteral("imgMenu"));
        press(Qt::Key_Space);
        QTRY_VERIFY(m_form->SV->isOpened());
        QVERIFY(iface(m_form->imgMenu)->state().expanded);
        press(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("ListBox1"));
    }

    void clickablesActOnKeysAndPress_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<int>("key"); // 0: the accessible press action
        QTest::addColumn<QString>("link"); // empty: the side panel toggles

        const struct {
            const char *object;
            QString link;
        } clickables[] = {
            { "imgMenu", QString() },
            { "Label9", QStringLiteral("https://orvy.example/") },
            { "Image4", QStringLiteral("https://orvy.example/") },
            { "Image3", QStringLiteral("https://insta.example/orvy") },
            { "Image6", QStringLiteral("https://fb.example/orvy") },
        };
        const struct {
            const char *name;
            int key;
        } ways[] = { { "Space", Qt::Key_Space }, { "Return", Qt::Key_Return }, { "Enter", Qt::Key_Enter },
            { "press action", 0 } };
        for (const auto &c : clickables)
            for (const auto &way : ways)
                QTest::addRow("%s %s", c.object, way.name)
                    << QString::fromLatin1(c.object) << way.key << c.link;
    }

    void clickablesActOnKeysAndPress()
    {
        QFETCH(QString, object);
        QFETCH(int, key);
        QFETCH(QString, link);

        auto *target = qobject_cast<orvy::ui::FlatButton *>(widget(object));
        QVERIFY(target);
        QTRY_VERIFY(m_form->isActiveWindow());
        target->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(target->hasFocus());
        const auto act = [&] {
            if (key == Qt::Key_Enter)
                press(key, Qt::KeypadModifier);
            else if (key)
                press(key);
            else {
                QAccessibleActionInterface *actions = iface(target)->actionInterface();
                QVERIFY(actions);
                QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
                actions->doAction(QAccessibleActionInterface::pressAction());
            }
        };
        act();
        if (link.isEmpty()) {
            QTRY_COMPARE(m_form->SV->width(), 0);
            act();
            QTRY_VERIFY(m_form->SV->isOpened());
            QVERIFY(m_fixture.openedLinks.isEmpty());
        } else {
            QCOMPARE(m_fixture.openedLinks, QStringList { link });
            QVERIFY(m_form->SV->isOpened());
        }
    }

    void aModifiedOrHeldKeyDoesNotClick()
    {
        QTRY_VERIFY(m_form->isActiveWindow());
        m_form->Image3->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(m_form->Image3->hasFocus());
        press(Qt::Key_Space, Qt::ControlModifier);
        QTest::sendKeyEvent(QTest::Press, m_form->windowHandle(), Qt::Key_Space, QStringLiteral(" "), {});
        QTest::simulateEvent(
            m_form->windowHandle(), true, Qt::Key_Space, {}, QStringLiteral(" "), /*repeat*/ true);
        QTest::sendKeyEvent(QTest::Release, m_form->windowHandle(), Qt::Key_Space, QStringLiteral(" "), {});
        QCOMPARE(m_fixture.openedLinks.size(), 1);

        // F11 stays the window's command, also on a focused icon.
        QSignalSpy zoomed(m_form->zoom, &QAction::triggered);
        press(Qt::Key_F11);
        QCOMPARE(zoomed.size(), 1);
        QCOMPARE(m_fixture.openedLinks.size(), 1);
    }

    void focusFrameShowsOnTheDarkTheme_data()
    {
        QTest::addColumn<QString>("object");
        for (const char *name : { "imgMenu", "Label9", "Image4", "Image3", "Image6" })
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void focusFrameShowsOnTheDarkTheme()
    {
        QFETCH(QString, object);
        QWidget *target = widget(object);
        QVERIFY(target);
        QTRY_VERIFY(m_form->isActiveWindow());
        const QColor highlight = target->palette().color(QPalette::Highlight);
        // Contrast against the black ground: at least 3:1 for a focus indicator.
        const auto luminance = [](const QColor &c) {
            const auto lin
                = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
            return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
        };
        QVERIFY((luminance(highlight) + 0.05) / 0.05 >= 3.0);

        // The frame lies around the button, outside the glyph's or the caption's box.
        const QRect box = target->geometry();
        const auto around
            = [&] { return target->parentWidget()->grab(box.adjusted(-4, -4, 4, 4)).toImage(); };
        const auto highlightIn = [&](const QImage &image, const QRect &area) {
            int hits = 0;
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x)
                    hits += image.pixelColor(x, y) == highlight;
            return hits;
        };
        const QRect inside(4, 4, box.width(), box.height());
        m_form->AdvComboBox1->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(!target->hasFocus());
        QImage image = around();
        QCOMPARE(highlightIn(image, image.rect()), 0);
        const QImage unfocused = image.copy(inside);

        target->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(target->hasFocus());
        QTRY_COMPARE(around().pixelColor(2, 4 + box.height() / 2), highlight);
        image = around();
        for (const QPoint &ring : { QPoint(2, 4 + box.height() / 2), QPoint(4 + box.width() + 1, 4),
                 QPoint(4 + box.width() / 2, 2), QPoint(4 + box.width() / 2, 4 + box.height() + 1) })
            QCOMPARE(image.pixelColor(ring), highlight);
        // The button itself is drawn exactly as without the focus.
        QCOMPARE(image.copy(inside), unfocused);
        if (auto *caption = qobject_cast<orvy::ui::FlatButton *>(target);
            caption && !caption->text().isEmpty()) {
            // The caption's frame hugs its text, not the panel's width.
            const int textWidth = caption->fontMetrics().horizontalAdvance(caption->plainText());
            QVERIFY2(box.width() <= textWidth + 24,
                qPrintable(QStringLiteral("%1 for %2").arg(box.width()).arg(textWidth)));
        }
    }

    void aClickKeepsTheKeyboardWhereItWas()
    {
        focusFirstList();
        QTest::mouseClick(m_form->imgMenu, Qt::LeftButton);
        QTRY_COMPARE(m_form->SV->width(), 0);
        QCOMPARE(focusName(), QStringLiteral("AdvComboBox1"));
    }

    void enterPlaysTheSelectedLessonAsADoubleClickDoes()
    {
        MessageBoxCatcher boxes;
        focusFirstList();
        press(Qt::Key_Down);
        QCOMPARE(m_form->ListBox1->count(), 3);
        for (int i = 0; i < 4; ++i)
            press(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("ListBox1"));

        // Tabbing in marks the first lesson as current; Enter plays it.
        QCOMPARE(m_form->ListBox1->currentRow(), 0);
        press(Qt::Key_Return);
        QVERIFY(m_form->EdgeBrowser1->isCreated());
        QVERIFY(!m_form->Panel2->isVisible());
        QVERIFY(waitJs(QStringLiteral("document.getElementById('vid') !== null && "
                                      "document.getElementById('vid').currentSrc === '%1'")
                           .arg(m_form->tmpLinks->at(0))));
        const int first = 0;

        // The keypad's Enter plays as well, and replaces the page.
        press(Qt::Key_Down);
        const int second = m_form->ListBox1->currentRow();
        QVERIFY(second != first);
        press(Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(waitJs(QStringLiteral("document.getElementById('vid').currentSrc === '%1'")
                           .arg(m_form->tmpLinks->at(second))));
        QVERIFY(boxes.seen().isEmpty());

        // The player's view joins the tab order after the welcome panel, which is gone.
        QAccessibleInterface *player = iface(m_form->EdgeBrowser1);
        QCOMPARE(player->text(QAccessible::Name), QStringLiteral("ڤیدیۆیا وانێ"));
        QVERIFY(!player->state().invisible);
        QVERIFY(iface(m_form->Panel2)->state().invisible);
    }

    void theKeyboardStaysWithThePlayerInFullScreen()
    {
        focusFirstList();
        press(Qt::Key_Down);
        for (int i = 0; i < 4; ++i)
            press(Qt::Key_Tab);
        press(Qt::Key_Down);
        press(Qt::Key_Return);
        QVERIFY(m_form->EdgeBrowser1->isCreated());
        QVERIFY(waitJs(QStringLiteral("document.getElementById('vid') !== null")));
        QTRY_VERIFY(m_form->EdgeBrowser1->view()->focusProxy());
        // The player's view follows the lessons in the tab order; the welcome panel is gone.
        press(Qt::Key_Tab);
        QTRY_VERIFY(m_form->EdgeBrowser1->isAncestorOf(QApplication::focusWidget()));
        QWidget *player = QApplication::focusWidget();

        // Full screen entered for real: the window follows the page's own state, so a
        // notification the page never made would be undone a moment later.
        const QPoint fullScreenButton = orvy::test::addFullScreenButton(page());
        QVERIFY(fullScreenButton.x() >= 0);
        QTest::mouseClick(m_form->EdgeBrowser1->view()->focusProxy(), Qt::LeftButton, {}, fullScreenButton);
        QTRY_VERIFY(m_form->EdgeBrowser1->containsFullScreenElement());
        QTRY_COMPARE(m_form->Tag, 1);
        QTRY_COMPARE(m_form->SV->width(), 0);
        QTRY_VERIFY(m_form->isActiveWindow());
        player->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(player->hasFocus());
        // Nothing folded away takes the keyboard: the lists and the menu button would act
        // unseen.
        for (int i = 0; i < 6; ++i) {
            press(Qt::Key_Tab);
            // The page hands Tab back when it has nothing more to focus, a moment later.
            QTest::qWait(200);
            QVERIFY2(
                m_form->EdgeBrowser1->isAncestorOf(QApplication::focusWidget()), qPrintable(focusName()));
        }
        QVERIFY(iface(m_form->AdvComboBox1)->state().invisible);

        orvy::test::runJavaScriptSync(page(), QStringLiteral("document.exitFullscreen()"));
        QTRY_COMPARE(m_form->Tag, 0);
        QTRY_VERIFY(m_form->SV->isOpened());
        QVERIFY(m_form->AdvComboBox1->isVisible());
        QTRY_VERIFY(m_form->isActiveWindow());
        QTRY_VERIFY(player->hasFocus());
        // Tab goes through the page's own controls first, then out of the player to the lists.
        for (int presses = 0; presses < 10 && focusName() != QStringLiteral("AdvComboBox1"); ++presses) {
            press(Qt::Key_Tab);
            (void)QTest::qWaitFor([this] { return focusName() == QStringLiteral("AdvComboBox1"); }, 500);
        }
        QCOMPARE(focusName(), QStringLiteral("AdvComboBox1"));
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
