// Course browsing in the main window: choosing a course lists its lessons, choosing a
// type narrows the catalogue, the menu button and the lesson hint.
#include "formfixture.h"
#include "ui/browser/edgebrowser.h"
#include "ui/flatbutton.h"
#include "ui/tform1.h"
#include "ui/widgets/lessonlist.h"
#include "ui/widgets/rtlcombobox.h"
#include "ui/widgets/sidepanel.h"

#include <QLabel>
#include <QTest>

using orvy::test::FormFixture;
using orvy::test::MessageBoxCatcher;
using orvy::ui::RtlComboBox;
using orvy::ui::TForm1;

namespace {

QStringList itemTexts(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

QStringList itemTexts(const RtlComboBox *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->itemText(i));
    return texts;
}

// Chooses an item the way a user does: focus the list and type the start of its name
// (any script: each character goes as the text of a key press).
void typeInto(RtlComboBox *list, const QString &prefix)
{
    list->setFocus();
    for (const QChar c : prefix) {
        QTest::sendKeyEvent(QTest::Press, list, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, list, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

const QStringList course10Lessons { QStringLiteral("وانەی یەکەم | دەستپێک"), QStringLiteral("وانەی دووەم"),
    QStringLiteral("وانەی سێیەم") };
const QStringList course10Links { QStringLiteral("http://v/1.mp4"), QStringLiteral("http://v/2.mp4"),
    QStringLiteral("http://v/3.mp4") };

} // namespace

class TestBrowsing : public QObject {
    Q_OBJECT

private:
    FormFixture m_fixture;
    std::unique_ptr<TForm1> m_form;

    QStringList lessonQueries()
    {
        QStringList found;
        for (const QString &q : m_fixture.db().loggedQueries())
            if (q.contains(QStringLiteral("lessons")) || q.contains(QStringLiteral("FROM courses WHERE")))
                found.append(q);
        return found;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_fixture.start(&error), qPrintable(error));
        m_fixture.seedCatalogue();
        QVERIFY(m_fixture.db().setGeneralLog(true));
    }

    void init()
    {
        MessageBoxCatcher boxes;
        m_form = m_fixture.showForm();
        QVERIFY(m_form);
        QVERIFY(boxes.seen().isEmpty());
        m_fixture.db().clearGeneralLog();
    }

    void cleanup() { m_form.reset(); }

    void choosingACourseListsItsActiveLessonsInOrder()
    {
        MessageBoxCatcher boxes;
        typeInto(m_form->AdvComboBox1, QStringLiteral("ف"));
        QCOMPARE(m_form->AdvComboBox1->currentIndex(), 0);
        QCOMPARE(itemTexts(m_form->ListBox1), course10Lessons);
        QCOMPARE(*m_form->tmpLinks, course10Links);
        QCOMPARE(m_form->Label3->text(), QStringLiteral("فێربوونی C++"));
        // The server logs the statement without its final ";".
        QCOMPARE(lessonQueries(),
            QStringList { QStringLiteral(
                "SELECT `LName`, `LLink` FROM `lessons` WHERE cID = 10 AND active = 1 ORDER BY LSORT") });
        QVERIFY(boxes.seen().isEmpty());
    }

    void courseWithoutActiveLessons()
    {
        typeInto(m_form->AdvComboBox1, QStringLiteral("ف"));
        QCOMPARE(m_form->ListBox1->count(), 3);
        // The catalogue list loads the same way; the Arabic course has only a row with active 2.
        typeInto(m_form->AdvComboBox2, QStringLiteral("ال"));
        QCOMPARE(m_form->AdvComboBox2->currentIndex(), 2);
        QCOMPARE(m_form->ListBox1->count(), 0);
        QVERIFY(m_form->tmpLinks->isEmpty());
        QCOMPARE(m_form->Label3->text(), QStringLiteral("العربية"));
    }

    void backspaceReloadsRatherThanAppends()
    {
        typeInto(m_form->AdvComboBox1, QStringLiteral("ف"));
        m_fixture.db().clearGeneralLog();
        QTest::keyClick(m_form->AdvComboBox1, Qt::Key_Backspace);
        QTest::keyClick(m_form->AdvComboBox1, Qt::Key_Backspace);
        QCOMPARE(itemTexts(m_form->ListBox1), course10Lessons);
        QCOMPARE(*m_form->tmpLinks, course10Links);
        QCOMPARE(lessonQueries().size(), 2);
    }

    void typeAheadChoosesByPrefix()
    {
        typeInto(m_form->AdvComboBox2, QStringLiteral("py"));
        QCOMPARE(m_form->AdvComboBox2->currentText(), QStringLiteral("Python"));
        QCOMPARE(itemTexts(m_form->ListBox1), QStringList { QStringLiteral("Py 1") });
        QCOMPARE(m_form->Label3->text(), QStringLiteral("Python"));
    }

    void courseTypeNarrowsTheCatalogue()
    {
        typeInto(m_form->AdvComboBox1, QStringLiteral("ف"));
        m_fixture.db().clearGeneralLog();

        m_form->AdvComboBox3->setFocus();
        QTest::keyClick(m_form->AdvComboBox3, Qt::Key_Down); // type 1, then type 2
        QTest::keyClick(m_form->AdvComboBox3, Qt::Key_Down);
        QCOMPARE(m_form->AdvComboBox3->currentIndex(), 2);
        QCOMPARE(itemTexts(m_form->AdvComboBox2), (QStringList { QStringLiteral("العربية"), QString() }));
        QCOMPARE(m_form->AdvComboBox2->currentIndex(), -1);

        QTest::keyClick(m_form->AdvComboBox3, Qt::Key_Down); // a type without courses
        QCOMPARE(m_form->AdvComboBox2->count(), 0);

        QTest::keyClick(m_form->AdvComboBox3, Qt::Key_Home); // گشتی: every course
        QCOMPARE(m_form->AdvComboBox2->count(), 4);

        QCOMPARE(lessonQueries(),
            (QStringList { QStringLiteral("SELECT * FROM courses WHERE  ctID = 1"),
                QStringLiteral("SELECT * FROM courses WHERE  ctID = 2"),
                QStringLiteral("SELECT * FROM courses WHERE  ctID = 3"),
                QStringLiteral("SELECT * FROM courses WHERE  1") }));
        // The lesson list belongs to the course chosen before.
        QCOMPARE(itemTexts(m_form->ListBox1), course10Lessons);
        QCOMPARE(m_form->Label3->text(), QStringLiteral("فێربوونی C++"));
    }

    void sessionKilledBetweenChoicesReconnectsSilently()
    {
        MessageBoxCatcher boxes;
        typeInto(m_form->AdvComboBox1, QStringLiteral("ف"));
        QString ids;
        QVERIFY(m_fixture.db().runSql(
            QStringLiteral("SELECT ID FROM information_schema.PROCESSLIST WHERE USER = 'orvy'"), QString(),
            &ids));
        for (const QString &id : ids.split(u'\n', Qt::SkipEmptyParts))
            QVERIFY(m_fixture.db().killSession(id.toLongLong()));

        QTest::qWait(1600); // past the type-ahead pause
        typeInto(m_form->AdvComboBox1, QStringLiteral("py"));
        QCOMPARE(m_form->Label3->text(), QStringLiteral("Python"));
        QCOMPARE(itemTexts(m_form->ListBox1), QStringList { QStringLiteral("Py 1") });
        QVERIFY(boxes.seen().isEmpty());
    }

    void databaseFailureIsReportedAndTheProgramGoesOn()
    {
        typeInto(m_form->AdvComboBox1, QStringLiteral("ف"));
        m_fixture.sql(QStringLiteral("RENAME TABLE lessons TO lessons_away"));
        MessageBoxCatcher boxes;
        QTest::keyClick(m_form->AdvComboBox1, Qt::Key_Backspace);
        m_fixture.sql(QStringLiteral("RENAME TABLE lessons_away TO lessons"));
        QCOMPARE(boxes.seen().size(), 1);
        QVERIFY2(boxes.seen().first().text.contains(QStringLiteral("lessons")),
            qPrintable(boxes.texts().join(u'\n')));
        // Cleared and not refilled: both lists alike.
        QCOMPARE(m_form->ListBox1->count(), 0);
        QVERIFY(m_form->tmpLinks->isEmpty());

        QTest::keyClick(m_form->AdvComboBox1, Qt::Key_Backspace);
        QCOMPARE(m_form->ListBox1->count(), 3);
    }

    void menuButtonTogglesTheSidePanel()
    {
        auto *sv = m_form->SV;
        QTest::mouseClick(m_form->imgMenu, Qt::LeftButton);
        QTRY_COMPARE(sv->width(), 0);
        QTest::mouseClick(m_form->imgMenu, Qt::LeftButton);
        QTRY_VERIFY(sv->isOpened());
        QCOMPARE(sv->width(), 165);

        // Clicked twice quickly: the second click finds it closing (or closed), not open,
        // so it opens again.
        QTest::mouseClick(m_form->imgMenu, Qt::LeftButton);
        QVERIFY(!sv->isOpened());
        QTest::mouseClick(m_form->imgMenu, Qt::LeftButton);
        QTRY_VERIFY(!sv->isAnimating());
        QCOMPARE(sv->width(), 165);
        QCOMPARE(m_form->Panel2->width(), TForm1::designWidth - 165);
    }

    void lessonClickSetsTheHintAndNeverPlays()
    {
        typeInto(m_form->AdvComboBox1, QStringLiteral("ف"));
        auto *list = m_form->ListBox1;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        QCOMPARE(list->hint(), course10Lessons.first());
        QVERIFY(!m_form->EdgeBrowser1->view());
        QVERIFY(m_form->Panel2->isVisible());

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(list, &leave);
        QVERIFY(list->hint().isEmpty());
    }
};

QTEST_MAIN(TestBrowsing)
#include "tst_browsing.moc"
