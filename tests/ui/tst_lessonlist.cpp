#include "ui/fonts.h"
#include "ui/widgets/lessonlist.h"
#include "ui/widgets/platformpalette.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <cmath>

using orvy::ui::LessonList;

namespace {

// Waits longer than these are what a loaded machine may add to a timer.
constexpr int Slack = 400;

// The side panel's list as the window uses it: the hint follows the clicked
// lesson and is cleared when the pointer leaves.
struct Panel {
    QWidget window;
    LessonList *list;

    explicit Panel(int items = 5)
    {
        window.resize(400, 400);
        list = new LessonList(&window);
        list->setGeometry(200, 20, 159, 300);
        for (int i = 0; i < items; ++i)
            list->addItem(QStringLiteral("Lesson %1").arg(i));
        QObject::connect(list, &LessonList::clickedByUser, list,
            [this] { list->setHint(list->currentItem() ? list->currentItem()->text() : QString()); });
        QObject::connect(list, &LessonList::mouseLeft, list, [this] { list->setHint(QString()); });
    }

    bool show()
    {
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return false;
        // Activated before any tooltip: a late activation would end one (as Qt's tooltip
        // ends at any window's activation).
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            return false;
        // Start with the pointer well away from the list.
        pointOutside();
        return true;
    }

    QPoint inside(int dx = 0) const { return QPoint(60 + dx, 100); }

    // Moves the real pointer; the window system then reports the motion and
    // the crossings, as it does for a user.
    static void movePointer(QWidget *widget, QPoint pos)
    {
        const QPoint target = widget->mapToGlobal(pos);
        if (QCursor::pos() == target) // no motion would be reported at all
            QCursor::setPos(target + QPoint(1, 1));
        QTest::mouseMove(widget, pos);
        QTRY_COMPARE(QCursor::pos(), target);
        QTest::qWait(20);
    }
    void pointTo(QPoint viewportPos) { movePointer(list->viewport(), viewportPos); }
    void pointOutside() { movePointer(&window, QPoint(20, 380)); }
};

// The tooltip window on screen, wherever Qt made it.
QWidget *shownTip()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowType() == Qt::ToolTip)
            return w;
    return nullptr;
}

} // namespace

class TestLessonList : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void looks()
    {
        const QPalette saved = QApplication::palette();
        Panel panel(100);
        QVERIFY(panel.show());
        // A dark theme applied later still leaves selection and scroll bar alone.
        QPalette dark = saved;
        dark.setColor(QPalette::Highlight, QColor(0x80, 0, 0));
        dark.setColor(QPalette::Button, QColor(0x10, 0x10, 0x10));
        dark.setColor(QPalette::Base, QColor(0, 0, 0));
        QApplication::setPalette(dark);

        LessonList *list = panel.list;
        const QPalette platform = orvy::ui::platformPalette();
        QCOMPARE(list->palette().color(QPalette::Base), QColor(0x3B, 0x3B, 0x3B));
        QCOMPARE(list->palette().color(QPalette::Text), QColor(0x00, 0xFF, 0xFF));
        QCOMPARE(list->palette().color(QPalette::Highlight), platform.color(QPalette::Highlight));
        QCOMPARE(
            list->verticalScrollBar()->palette().color(QPalette::Button), platform.color(QPalette::Button));
        QCOMPARE(list->font().pixelSize(), 12);
        // The window's own families, not whatever the system picks for one missing face.
        QCOMPARE(list->font().families(), orvy::ui::segoeUi(12).families());
        QCOMPARE(list->frameShape(), QFrame::NoFrame);

        for (int row : { 0, 1, 7 })
            QCOMPARE(list->visualItemRect(list->item(row)).height(), LessonList::ItemHeight);
        QCOMPARE(list->visualItemRect(list->item(1)).top() - list->visualItemRect(list->item(0)).top(),
            LessonList::ItemHeight);
        // Right to left: the scroll bar on the left, the items against the right edge.
        QVERIFY(list->verticalScrollBar()->isVisible());
        QCOMPARE(list->verticalScrollBar()->x(), 0);
        QCOMPARE(list->viewport()->geometry().right(), list->width() - 1);

        // The viewport really paints the own background.
        const QImage image = list->viewport()->grab().toImage();
        QCOMPARE(image.pixelColor(image.width() - 2, image.height() - 2), QColor(0x3B, 0x3B, 0x3B));
        QApplication::setPalette(saved);
    }

    // The keyboard's current row is marked, selected or not, while the list has the focus.
    void currentRowMark_data()
    {
        QTest::addColumn<bool>("selected");
        QTest::newRow("current only (after Tab)") << false;
        QTest::newRow("current and selected") << true;
    }
    void currentRowMark()
    {
        QFETCH(bool, selected);
        Panel panel;
        QVERIFY(panel.show());
        LessonList *list = panel.list;
        list->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(list->hasFocus());
        list->selectionModel()->setCurrentIndex(list->model()->index(1, 0),
            selected ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::NoUpdate);
        const QRect row = list->visualItemRect(list->item(1));
        const QRect other = list->visualItemRect(list->item(3));
        const QImage image = list->viewport()->grab().toImage();
        for (const QPoint &edge :
            { QPoint(row.center().x(), row.top()), QPoint(row.center().x(), row.bottom()),
                QPoint(row.left(), row.center().y()), QPoint(row.right(), row.center().y()) })
            QCOMPARE(image.pixelColor(edge), LessonList::CurrentRowMark);
        QVERIFY(image.pixelColor(other.center().x(), other.top()) != LessonList::CurrentRowMark);

        // At least 3:1 against the list's ground, as a focus indicator should be.
        const auto luminance = [](const QColor &c) {
            const auto lin
                = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
            return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
        };
        QVERIFY((luminance(LessonList::CurrentRowMark) + 0.05) / (luminance(QColor(0x3B, 0x3B, 0x3B)) + 0.05)
            >= 3.0);
    }

    void userSignals()
    {
        Panel panel;
        QVERIFY(panel.show());
        LessonList *list = panel.list;
        QSignalSpy clicks(list, &LessonList::clickedByUser);
        QSignalSpy doubles(list, &LessonList::doubleClickedByUser);
        const auto rowCentre = [&](int row) { return list->visualItemRect(list->item(row)).center(); };

        list->setCurrentRow(1);
        list->clear();
        for (int i = 0; i < 5; ++i)
            list->addItem(QStringLiteral("Lesson %1").arg(i));
        QCOMPARE(clicks.count(), 0);

        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(2));
        QCOMPARE(list->currentRow(), 2);
        QCOMPARE(clicks.count(), 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(2));
        QCOMPARE(clicks.count(), 1); // no change of selection
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->currentRow(), 3);
        QCOMPARE(clicks.count(), 2);
        QCOMPARE(panel.list->hint(), QStringLiteral("Lesson 3"));

        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowCentre(4));
        QCOMPARE(doubles.count(), 1);
        QCOMPARE(list->currentRow(), 4);
        // Below the last item, still in the list area.
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(60, 250));
        QCOMPARE(doubles.count(), 2);
        QTest::mouseDClick(list->viewport(), Qt::RightButton, {}, rowCentre(0));
        QCOMPARE(doubles.count(), 2);
    }

    void enterAsks_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("asks");
        QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier) << true;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << true;
        QTest::newRow("Ctrl+Return") << int(Qt::Key_Return) << int(Qt::ControlModifier) << false;
        QTest::newRow("Space") << int(Qt::Key_Space) << int(Qt::NoModifier) << false;
    }

    void enterAsks()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, asks);
        Panel panel;
        QVERIFY(panel.show());
        LessonList *list = panel.list;
        list->setFocus();
        QSignalSpy enters(list, &LessonList::returnPressed);
        QSignalSpy clicks(list, &LessonList::clickedByUser);
        list->setCurrentRow(2);
        QTest::keyClick(list, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(enters.count(), asks ? 1 : 0);
        if (asks) {
            // Asking changes nothing in the list itself.
            QCOMPARE(list->currentRow(), 2);
            QCOMPARE(clicks.count(), 0);
            // A held key asks once.
            QTest::simulateEvent(list, true, key, Qt::KeyboardModifiers(modifiers), QString(), true);
            QCOMPARE(enters.count(), 1);
        }
    }

    void tipText_data()
    {
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QStringLiteral("وانەیا ئێکێ") << QStringLiteral("وانەیا ئێکێ");
        QTest::newRow("cut at first bar")
            << QStringLiteral("Part A|Part B|Part C") << QStringLiteral("Part A");
        QTest::newRow("markup stays text") << QStringLiteral("<b>bold</b>") << QStringLiteral("<b>bold</b>");
    }
    void tipText()
    {
        QFETCH(QString, hint);
        QFETCH(QString, shown);
        Panel panel;
        QVERIFY(panel.show());
        panel.pointTo(panel.inside());
        panel.list->setHint(hint);
        QTRY_VERIFY_WITH_TIMEOUT(panel.list->isTipVisible(), 5000);
        QCOMPARE(panel.list->tipText(), shown);
        // What the tooltip window really reads, markup included.
        auto *tip = qobject_cast<QLabel *>(shownTip());
        QVERIFY(tip);
        QTextDocument read;
        read.setHtml(tip->text());
        QCOMPARE(read.toPlainText(), shown);
    }

    // A long name shows on one line as far as the screen is wide, and only beyond that on
    // more; markup in it stays text.
    void longName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("widerThanScreen");
        const QString kurdish = QStringLiteral("وانەیا ئێکێ یا کۆرسێ فێربوونا زمانێ ");
        QTest::newRow("Kurdish, half the screen") << kurdish.repeated(3).trimmed() << false;
        QTest::newRow("markup in it")
            << QStringLiteral("<b>Lesson</b> &amp; <i>notes</i> ").repeated(4).trimmed() << false;
        QTest::newRow("wider than the screen") << kurdish.repeated(40).trimmed() << true;
    }
    void longName()
    {
        QFETCH(QString, name);
        QFETCH(bool, widerThanScreen);
        Panel panel;
        QVERIFY(panel.show());
        panel.pointTo(panel.inside());
        panel.list->setHint(name);
        QTRY_VERIFY_WITH_TIMEOUT(panel.list->isTipVisible(), 5000);
        auto *tip = qobject_cast<QLabel *>(shownTip());
        QVERIFY(tip);
        QTextDocument read;
        read.setHtml(tip->text());
        const QRegularExpression blanks(QStringLiteral("\\s"));
        QCOMPARE(read.toPlainText().remove(blanks), QString(name).remove(blanks));

        const QFontMetrics metrics(tip->font());
        const int screenWidth = tip->screen()->availableGeometry().width();
        QVERIFY2(tip->width() <= screenWidth, qPrintable(QString::number(tip->width())));
        const int lines = qRound(double(tip->height()) / metrics.lineSpacing());
        if (widerThanScreen) {
            QVERIFY2(tip->height() >= 2 * metrics.lineSpacing(), qPrintable(QString::number(tip->height())));
            // Broken only where the screen ends: each line but the last nearly fills it.
            QVERIFY2(tip->width() > screenWidth * 3 / 4, qPrintable(QString::number(tip->width())));
        } else {
            QVERIFY2(tip->height() < 2 * metrics.lineSpacing(),
                qPrintable(QStringLiteral("%1 px high, about %2 lines").arg(tip->height()).arg(lines)));
            QVERIFY2(tip->width() >= metrics.horizontalAdvance(read.toPlainText()),
                qPrintable(QString::number(tip->width())));
        }
    }

    void barFirstShowsNothing()
    {
        Panel panel;
        QVERIFY(panel.show());
        panel.pointTo(panel.inside());
        panel.list->setHint(QStringLiteral("|long part"));
        QTest::qWait(LessonList::TipDelayMs + Slack);
        QVERIFY(!panel.list->isTipVisible());
    }

    void showsAfterRestBelowPointer()
    {
        Panel panel;
        QVERIFY(panel.show());
        panel.list->setHint(QStringLiteral("Lesson 1"));
        QVERIFY(!panel.list->isTipVisible());

        // Movements keep restarting the wait.
        QElapsedTimer sinceMove;
        for (int i = 0; i < 4; ++i) {
            panel.pointTo(panel.inside(i * 3));
            sinceMove.start();
            QTest::qWait(LessonList::TipDelayMs / 2);
            if (sinceMove.elapsed() < LessonList::TipDelayMs - 20)
                QVERIFY(!panel.list->isTipVisible());
        }
        QTRY_VERIFY_WITH_TIMEOUT(panel.list->isTipVisible(), 5000);
        QVERIFY(sinceMove.elapsed() >= LessonList::TipDelayMs - 10);

        // Just below the pointer, and shown as it was typed.
        const QPoint pointer = panel.list->viewport()->mapToGlobal(panel.inside(9));
        const QWidget *tip = shownTip();
        QVERIFY(tip);
        QVERIFY2(
            tip->y() > pointer.y() && tip->y() <= pointer.y() + 32, qPrintable(QString::number(tip->y())));
        QVERIFY(std::abs(tip->x() - pointer.x()) <= 8);

        // It goes by itself, and does not come back while the pointer stays.
        QElapsedTimer shown;
        shown.start();
        QTRY_VERIFY_WITH_TIMEOUT(!panel.list->isTipVisible(), LessonList::TipDurationMs + 5000);
        // The wait for the tooltip above may have seen it late by what a loaded machine adds.
        QVERIFY(shown.elapsed() >= LessonList::TipDurationMs - Slack);
        panel.pointTo(panel.inside(20));
        QTest::qWait(LessonList::TipDelayMs + Slack);
        QVERIFY(!panel.list->isTipVisible());

        // Setting the hint again brings it back.
        panel.list->setHint(QStringLiteral("Lesson 2"));
        QTRY_VERIFY_WITH_TIMEOUT(panel.list->isTipVisible(), 5000);
        QCOMPARE(panel.list->tipText(), QStringLiteral("Lesson 2"));
    }

    void endsOn_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("click in the list") << QStringLiteral("click");
        QTest::newRow("click elsewhere") << QStringLiteral("click elsewhere");
        QTest::newRow("key press") << QStringLiteral("key");
        QTest::newRow("key press with Ctrl") << QStringLiteral("key with Ctrl");
        QTest::newRow("pointer leaves") << QStringLiteral("leave");
    }
    void endsOn()
    {
        QFETCH(QString, action);
        Panel panel(3);
        QVERIFY(panel.show());
        panel.list->setCurrentRow(2);
        panel.pointTo(panel.inside());
        panel.list->setHint(QStringLiteral("Lesson 2"));
        QTRY_VERIFY_WITH_TIMEOUT(panel.list->isTipVisible(), 5000);

        QSignalSpy left(panel.list, &LessonList::mouseLeft);
        if (action == QLatin1String("click")) {
            // On the empty area: the selection, and so the hint, stays.
            QTest::mouseClick(panel.list->viewport(), Qt::LeftButton, {}, panel.inside());
            QVERIFY(!panel.list->isTipVisible());
        } else if (action == QLatin1String("click elsewhere")) {
            QTest::mouseClick(&panel.window, Qt::LeftButton, {}, QPoint(20, 20));
            QVERIFY(!panel.list->isTipVisible());
        } else if (action.startsWith(QLatin1String("key"))) {
            // Gone well before its display time would end it (Qt's tooltip fades out in
            // a moment).
            QTest::keyClick(&panel.window, Qt::Key_A,
                action == QLatin1String("key with Ctrl") ? Qt::ControlModifier : Qt::NoModifier);
            QTRY_VERIFY_WITH_TIMEOUT(!panel.list->isTipVisible(), 1000);
        } else {
            panel.pointOutside();
            QTRY_VERIFY(!panel.list->isTipVisible());
            QTRY_COMPARE(left.count(), 1);
            QVERIFY(panel.list->hint().isEmpty());
            panel.pointTo(panel.inside());
        }
        QCOMPARE(panel.list->hint().isEmpty(), action == QLatin1String("leave"));

        // Resting on, or moving within, the list does not bring it back.
        panel.pointTo(panel.inside(5));
        QTest::qWait(LessonList::TipDelayMs + Slack);
        QVERIFY(!panel.list->isTipVisible());

        // A click on another lesson does.
        QTest::mouseClick(panel.list->viewport(), Qt::LeftButton, {},
            panel.list->visualItemRect(panel.list->item(0)).center());
        QCOMPARE(panel.list->hint(), QStringLiteral("Lesson 0"));
        QTRY_VERIFY_WITH_TIMEOUT(panel.list->isTipVisible(), 5000);
    }

    void leavingBeforeTheTipCancelsIt()
    {
        Panel panel;
        QVERIFY(panel.show());
        panel.pointTo(panel.inside());
        panel.list->setHint(QStringLiteral("Lesson 1"));
        panel.pointOutside();
        QTRY_VERIFY(panel.list->hint().isEmpty());
        QTest::qWait(LessonList::TipDelayMs + Slack);
        QVERIFY(!panel.list->isTipVisible());
        // Coming back with no hint set shows nothing either.
        panel.pointTo(panel.inside());
        QTest::qWait(LessonList::TipDelayMs + Slack);
        QVERIFY(!panel.list->isTipVisible());
    }
};

QTEST_MAIN(TestLessonList)
#include "tst_lessonlist.moc"
