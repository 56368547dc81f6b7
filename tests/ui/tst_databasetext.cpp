// Text from the database is shown exactly as stored, never as markup: the welcome
// texts, the phone and web-site captions, the course caption, the drop-down items and
// the lesson names with their tooltip, each checked in the real window.
#include "formfixture.h"
#include "tmpdir.h"
#include "ui/flatbutton.h"
#include "ui/tform1.h"
#include "ui/widgets/lessonlist.h"
#include "ui/widgets/rtlcombobox.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

using orvy::test::FormFixture;
using orvy::test::MariaDbServer;
using orvy::test::MessageBoxCatcher;
using orvy::ui::TForm1;

namespace {

// The colour of the picture a text might try to show; nothing else in the window has it.
const QColor pictureColour(1, 254, 3);

bool showsPicture(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x)
            if (QColor(rgb.pixel(x, y)) == pictureColour)
                return true;
    return false;
}

// How the label would look with its text taken as plain text, whatever else it is set to.
QImage asPlainText(const QLabel *label)
{
    QLabel twin(label->parentWidget());
    twin.setTextFormat(Qt::PlainText);
    // A label that takes the focus (a caption clicked like a button) or lets its text be
    // selected lays its plain text out through a text document, a pixel off the simple
    // path: the twin takes the same path. Set before the text, which picks the path.
    twin.setFocusPolicy(label->focusPolicy());
    twin.setTextInteractionFlags(label->textInteractionFlags());
    twin.setFont(label->font());
    twin.setPalette(label->palette());
    twin.setForegroundRole(label->foregroundRole());
    twin.setBackgroundRole(label->backgroundRole());
    twin.setAutoFillBackground(label->autoFillBackground());
    twin.setAttribute(Qt::WA_TranslucentBackground, label->testAttribute(Qt::WA_TranslucentBackground));
    twin.setLayoutDirection(label->layoutDirection());
    twin.setAlignment(label->alignment());
    twin.setWordWrap(label->wordWrap());
    twin.setMargin(label->margin());
    twin.setIndent(label->indent());
    twin.setContentsMargins(label->contentsMargins());
    twin.setFrameStyle(label->frameStyle());
    twin.setText(label->text());
    twin.resize(label->size());
    return twin.grab().toImage();
}

void verifyShownAsStored(QLabel *label, const QString &stored)
{
    QVERIFY2(label, "no such label");
    const QString name = label->objectName().isEmpty() ? QStringLiteral("tooltip") : label->objectName();
    QVERIFY2(label->text() == stored, qPrintable(name + QStringLiteral(": ") + label->text()));
    const QImage shown = label->grab().toImage();
    QVERIFY2(shown == asPlainText(label), qPrintable(name + QStringLiteral(" is not drawn as plain text")));
    QVERIFY2(!showsPicture(shown), qPrintable(name + QStringLiteral(" shows a picture")));
}

} // namespace

class TestDatabaseText : public QObject {
    Q_OBJECT

private:
    FormFixture m_fixture;
    QString m_picturePath;

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_fixture.start(&error), qPrintable(error));
        // A picture on this machine that markup in a text could pull in.
        m_picturePath = orvy::test::freshTestDir(QStringLiteral("pictures")) + QStringLiteral("/local.png");
        QImage picture(64, 24, QImage::Format_RGB32);
        picture.fill(pictureColour);
        QVERIFY(picture.save(m_picturePath));
    }

    void shownExactlyAsStored_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("angle brackets") << QStringLiteral("a < b > c");
        QTest::newRow("heading") << QStringLiteral("<h1>Big</h1>");
        QTest::newRow("local picture") << QStringLiteral("<img src=\"%PICTURE%\">");
        QTest::newRow("paragraph and table") << QStringLiteral("<p>x</p><table><tr><td>y</td></tr></table>");
        QTest::newRow("entities") << QStringLiteral("&lt;b&gt; &amp; &#x41;");
        QTest::newRow("bold in Arabic script") << QStringLiteral("<b>وانە</b> & <i>کورس</i>");
    }
    void shownExactlyAsStored()
    {
        QFETCH(QString, stored);
        stored.replace(QStringLiteral("%PICTURE%"), m_picturePath);
        m_fixture.seedCatalogue();
        const QString text = MariaDbServer::quoted(stored);
        m_fixture.sql(QStringLiteral("UPDATE interface SET intLBL1 = %1, intLBL2 = %1, intLBL3 = %1, "
                                     "intLBLPhone = %1, intLBLOrvy = %1;")
                          .arg(text));
        m_fixture.sql(QStringLiteral("UPDATE courses SET cName = %1 WHERE cID = 10;").arg(text));
        m_fixture.sql(QStringLiteral("UPDATE classtype SET ctName = %1 WHERE ctID = 1;").arg(text));
        m_fixture.sql(QStringLiteral("UPDATE lessons SET LName = %1 WHERE cID = 10;").arg(text));

        MessageBoxCatcher boxes;
        auto form = m_fixture.showForm();
        QVERIFY(form);
        QVERIFY2(boxes.seen().isEmpty(), qPrintable(boxes.texts().join(u'\n')));

        // The welcome panel.
        for (QLabel *label :
            std::initializer_list<QLabel *> { form->Label5, form->Label4, form->Label8, form->Label7 })
            verifyShownAsStored(label, stored);
        // The web-site caption is a button: an '&' in its text is shown, never a shortcut mark.
        QCOMPARE(form->Label9->plainText(), stored);
        QCOMPARE(QAccessible::queryAccessibleInterface(form->Label9)->text(QAccessible::Name), stored);
        QVERIFY(!showsPicture(form->Label9->grab().toImage()));
        // A failed check in the helper ends only the helper: stop here, or the waits below
        // (which give up at once after a failure) report faults that are not there.
        if (QTest::currentTestFailed())
            return;

        // The drop-down lists: their items, their fields and their open lists.
        QCOMPARE(form->AdvComboBox1->itemText(0), stored);
        QCOMPARE(form->AdvComboBox2->itemText(0), stored);
        QCOMPARE(form->AdvComboBox3->itemText(1), stored);
        for (orvy::ui::RtlComboBox *list : { form->AdvComboBox1, form->AdvComboBox3 }) {
            list->setCurrentIndex(list == form->AdvComboBox3 ? 1 : 0);
            QVERIFY(!showsPicture(list->grab().toImage()));
            list->showPopup();
            QTRY_VERIFY(list->view()->isVisible());
            QVERIFY(!showsPicture(list->view()->window()->grab().toImage()));
            list->hidePopup();
            QTRY_VERIFY(!list->view()->isVisible());
        }

        // Choosing the course: its caption and its lessons.
        form->AdvComboBox1->setCurrentIndex(-1);
        form->AdvComboBox1->setFocus();
        const QString first = stored.left(1);
        QTest::sendKeyEvent(QTest::Press, form->AdvComboBox1, Qt::Key_unknown, first, Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, form->AdvComboBox1, Qt::Key_unknown, first, Qt::NoModifier);
        QTRY_COMPARE(form->ListBox1->count(), 3);
        verifyShownAsStored(form->Label3, stored);
        if (QTest::currentTestFailed())
            return;
        for (int i = 0; i < form->ListBox1->count(); ++i)
            QCOMPARE(form->ListBox1->item(i)->text(), stored);
        QVERIFY(!showsPicture(form->ListBox1->viewport()->grab().toImage()));

        // The lesson's tooltip: the real pointer comes in from outside the list (leaving
        // it clears the hint), then a click on the last row (the list may already stand on
        // the first) sets the hint.
        auto *list = form->ListBox1;
        const QPoint row = list->visualItemRect(list->item(2)).intersected(list->viewport()->rect()).center();
        const QPoint outside = form->mapToGlobal(QPoint(form->width() / 2, form->height() / 2));
        QCursor::setPos(outside);
        QTRY_COMPARE(QCursor::pos(), outside);
        QTest::qWait(50);
        QTest::mouseMove(list->viewport(), row);
        QTRY_COMPARE(QCursor::pos(), list->viewport()->mapToGlobal(row));
        QTest::qWait(50);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row);
        QCOMPARE(list->hint(), stored);
        QTRY_VERIFY_WITH_TIMEOUT(list->isTipVisible(), 5000);
        QCOMPARE(list->tipText(), stored);
        auto *tip = list->findChild<QLabel *>();
        QVERIFY(tip);
        QTextDocument read;
        read.setHtml(tip->text());
        QCOMPARE(read.toPlainText(), stored);
        QVERIFY(!showsPicture(tip->grab().toImage()));
        QVERIFY2(boxes.seen().isEmpty(), qPrintable(boxes.texts().join(u'\n')));
    }

    // Messages quote database text too: a colour that is not a number.
    void errorReportShowsTheTextAsStored()
    {
        m_fixture.seedCatalogue();
        const QString stored = QStringLiteral("<h1>a</h1> < b > c"); // the column holds 30
        m_fixture.sql(
            QStringLiteral("UPDATE interface SET lblColor1 = %1;").arg(MariaDbServer::quoted(stored)));

        QString text;
        bool plain = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            text = box->text();
            auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
            plain = label && label->grab().toImage() == asPlainText(label);
            box->button(QMessageBox::Ok)->click();
        });
        poll.start(20);
        auto form = m_fixture.showForm();
        QVERIFY(form);
        QCOMPARE(text, QStringLiteral("'%1' is not a valid integer value.").arg(stored));
        QVERIFY(plain);
    }
};

QTEST_MAIN(TestDatabaseText)
#include "tst_databasetext.moc"
