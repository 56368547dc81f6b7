// Names of any length in the catalogue: a course, a course type or a lesson named with
// millions of characters is shown cut, so the window answers at once; the course caption
// keeps a few lines above the lesson list; the lesson's link is kept whole.
#include "core/displaytext.h"
#include "formfixture.h"
#include "ui/tform1.h"
#include "ui/widgets/lessonlist.h"
#include "ui/widgets/rtlcombobox.h"

#include <QAbstractItemView>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>

using orvy::test::FormFixture;
using orvy::test::MariaDbServer;
using orvy::test::MessageBoxCatcher;
using orvy::ui::TForm1;

namespace {

// What a step may take at most, paint included, with wide margins for a loaded machine
// and the sanitizer build, and still far below the minute a name of 16 MB cost when it
// was shown whole. Steps that read names of megabytes from the server take a fraction of
// a second here; steps that only show what was read, some tens of milliseconds.
constexpr qint64 readingLimitMs = 15000;
constexpr qint64 answerLimitMs = 2000;

// The text as a widget shows it: at most the display length and a mark, and the
// beginning of what is stored.
void verifyCut(const QString &shown, const QString &stored, const char *what)
{
    QVERIFY2(shown.size() <= orvy::maxDisplayLength,
        qPrintable(QStringLiteral("%1: %2 characters").arg(QLatin1String(what)).arg(shown.size())));
    QVERIFY2(shown.size() >= orvy::maxDisplayLength - 5,
        qPrintable(QStringLiteral("%1: %2 characters, %3 stored")
                       .arg(QLatin1String(what))
                       .arg(shown.size())
                       .arg(stored.size())));
    QVERIFY2(shown.endsWith(QChar(0x2026)), what);
    QVERIFY2(stored.startsWith(shown.chopped(1)), what);
}

void verifyQuick(qint64 ms, qint64 limitMs, const char *step)
{
    QVERIFY2(ms < limitMs, qPrintable(QStringLiteral("%1 took %2 ms").arg(QLatin1String(step)).arg(ms)));
}

QString repeated(const QString &piece, int times)
{
    return QStringLiteral("REPEAT(%1, %2)").arg(MariaDbServer::quoted(piece)).arg(times);
}

// Handles what the step left pending and paints the window, as the screen would show it.
qint64 paintedAfter(QWidget *window, const QElapsedTimer &since)
{
    QCoreApplication::processEvents();
    window->grab();
    return since.elapsed();
}

} // namespace

class TestLongText : public QObject {
    Q_OBJECT

private:
    FormFixture m_fixture;

    QString stored(const QString &sql)
    {
        QString out;
        if (!m_fixture.db().runSql(sql, QStringLiteral("orvy"), &out))
            qWarning() << m_fixture.db().errorString();
        out.chop(1); // the line's end
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Names of megabytes.
        m_fixture.db().setExtraArguments({ QStringLiteral("--max-allowed-packet=256M") });
        QString error;
        QVERIFY2(m_fixture.start(&error), qPrintable(error));
        // The schema's columns hold 255 characters; a server may hold anything.
        m_fixture.sql(QStringLiteral("ALTER TABLE courses MODIFY cName LONGTEXT;"
                                     "ALTER TABLE classtype MODIFY ctName LONGTEXT;"
                                     "ALTER TABLE lessons MODIFY LName LONGTEXT, MODIFY LLink LONGTEXT;"));
    }

    // 3.5 MB of UTF-8 each, near the largest row the client takes (4 MB; a larger one is a
    // database error, see tst_untrustedserver): words a caption wraps at, and one word it
    // cannot wrap.
    void longNamesStayCheap_data()
    {
        QTest::addColumn<QString>("piece");
        QTest::addColumn<int>("repeat");
        QTest::newRow("3.5 MB of words") << QStringLiteral("کورس ") << 3500 * 1000 / 9;
        QTest::newRow("3.5 MB, one word") << QStringLiteral("x") << 3500 * 1000;
    }

    void longNamesStayCheap()
    {
        QFETCH(QString, piece);
        QFETCH(int, repeat);
        m_fixture.seedCatalogue();
        // Each name starts as its seeded one did, so it is chosen by the same letter.
        m_fixture.sql(QStringLiteral("UPDATE courses SET cName = CONCAT('فێربوونی ', %1) WHERE cID = 10;"
                                     "UPDATE classtype SET ctName = CONCAT('زمان ', %1) WHERE ctID = 2;"
                                     "UPDATE lessons SET LName = CONCAT('وانەی دووەم ', %1), "
                                     "LLink = CONCAT('http://127.0.0.1:9/', REPEAT('a', 300000), '.mp4') "
                                     "WHERE cID = 10 AND LSORT = 2 AND active = 1;")
                          .arg(repeated(piece, repeat)));
        const QString courseName = stored(QStringLiteral("SELECT cName FROM courses WHERE cID = 10"));
        const QString lessonName
            = stored(QStringLiteral("SELECT LName FROM lessons WHERE cID = 10 AND LSORT = 2 AND active = 1"));
        const QString typeName = stored(QStringLiteral("SELECT ctName FROM classtype WHERE ctID = 2"));
        const QString link
            = QStringLiteral("http://127.0.0.1:9/") + QString(300000, u'a') + QStringLiteral(".mp4");
        QVERIFY(courseName.size() > 1000000);

        MessageBoxCatcher boxes;
        QElapsedTimer clock;
        clock.start();
        auto form = m_fixture.showForm();
        QVERIFY(form);
        verifyQuick(paintedAfter(form.get(), clock), readingLimitMs, "start-up");
        verifyCut(form->AdvComboBox1->itemText(0), courseName, "AdvComboBox1");
        verifyCut(form->AdvComboBox2->itemText(0), courseName, "AdvComboBox2");
        verifyCut(form->AdvComboBox3->itemText(2), typeName, "AdvComboBox3");

        // A course with a short name first: the caption's one line and the list's room.
        form->AdvComboBox1->setFocus();
        QTest::sendKeyEvent(QTest::Press, form->AdvComboBox1, Qt::Key_unknown, QStringLiteral("ا"), {});
        QTRY_COMPARE(form->Label3->text(), QStringLiteral("العربية"));
        QCoreApplication::processEvents();
        const int line = form->Label3->height();
        const int listHeightShort = form->ListBox1->height();

        // The long course: chosen, listed and painted at once.
        QTest::qWait(600); // type-ahead starts afresh
        clock.restart();
        orvy::test::chooseFirstCourse(*form);
        QCOMPARE(form->ListBox1->count(), 3);
        verifyQuick(paintedAfter(form.get(), clock), readingLimitMs, "choosing the course");
        verifyCut(form->Label3->text(), courseName, "Label3");
        verifyCut(form->ListBox1->item(1)->text(), lessonName, "ListBox1");
        QCOMPARE(form->tmpLinks->at(1), link);

        // The caption keeps its place and a few lines; the list keeps its room.
        QVERIFY2(form->Label3->height() <= 4 * line,
            qPrintable(QStringLiteral("%1 against lines of %2").arg(form->Label3->height()).arg(line)));
        QCOMPARE(form->Label3->y(), form->Label2->geometry().bottom() + 1);
        QVERIFY2(form->ListBox1->height() >= listHeightShort - 3 * line,
            qPrintable(QStringLiteral("%1 against %2").arg(form->ListBox1->height()).arg(listHeightShort)));

        // The next key is answered at once.
        auto *list = form->ListBox1;
        list->setFocus();
        clock.restart();
        QTest::keyClick(list, Qt::Key_End);
        verifyQuick(paintedAfter(form.get(), clock), answerLimitMs, "the next key");

        // The long lesson clicked: its hint and tooltip.
        const QPoint row = list->visualItemRect(list->item(1)).center();
        QTest::mouseMove(list->viewport(), row);
        clock.restart();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row);
        verifyCut(list->hint(), lessonName, "hint");
        const int tipDelay = orvy::ui::LessonList::TipDelayMs;
        QTRY_VERIFY_WITH_TIMEOUT(list->isTipVisible(), answerLimitMs + tipDelay);
        verifyQuick(paintedAfter(form.get(), clock) - tipDelay, answerLimitMs, "the lesson's tooltip");
        verifyCut(list->tipText(), lessonName, "tooltip");
        QVERIFY2(boxes.seen().isEmpty(), qPrintable(boxes.texts().join(u'\n')));
    }
};

QTEST_MAIN(TestLongText)
#include "tst_longtext.moc"
