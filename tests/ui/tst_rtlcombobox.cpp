#include "ui/widgets/platformpalette.h"
#include "ui/widgets/rtlcombobox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QWheelEvent>

using orvy::ui::RtlComboBox;

namespace {

const QStringList Names { QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Bravo"),
    QStringLiteral("Charlie"), QStringLiteral("Delta") };

// A toolbar with one list laid out as on the main window.
struct Toolbar {
    QWidget window;
    RtlComboBox *combo;

    Toolbar()
    {
        window.resize(800, 50);
        combo = new RtlComboBox(&window);
        combo->setGeometry(300, 11, 279, 28);
        for (int i = 0; i < Names.size(); ++i)
            combo->addItemWithId(Names.at(i), 10 + i);
        combo->setCurrentIndex(0);
    }
};

QRect editField(RtlComboBox *combo)
{
    QStyleOptionComboBox opt;
    opt.initFrom(combo);
    opt.editable = false;
    opt.frame = true;
    opt.subControls = QStyle::SC_All;
    return combo->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo);
}

int pixelsNear(const QImage &image, const QRect &area, const QColor &color)
{
    int hits = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - color.red()) + std::abs(c.green() - color.green())
                    + std::abs(c.blue() - color.blue())
                < 60)
                ++hits;
        }
    }
    return hits;
}

} // namespace

class TestRtlComboBox : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void attachedIntegers()
    {
        Toolbar bar;
        QCOMPARE(bar.combo->attachedInteger(0), 10);
        QCOMPARE(bar.combo->attachedInteger(4), 14);
        QCOMPARE(bar.combo->attachedInteger(-1), 0);
        QCOMPARE(bar.combo->attachedInteger(5), 0);
        bar.combo->addItemWithId(QStringLiteral("گشتی"), 0);
        bar.combo->addItemWithId(QStringLiteral("big"), 2147483647);
        QCOMPARE(bar.combo->attachedInteger(5), 0);
        QCOMPARE(bar.combo->attachedInteger(6), 2147483647);
        QVERIFY(!bar.combo->isEditable());
        QCOMPARE(bar.combo->layoutDirection(), Qt::RightToLeft);
    }

    void changesFromCodeRaiseNothing()
    {
        Toolbar bar;
        QSignalSpy spy(bar.combo, &RtlComboBox::changedByUser);
        bar.combo->setCurrentIndex(3);
        bar.combo->setCurrentIndex(-1);
        bar.combo->addItemWithId(QStringLiteral("Echo"), 99);
        bar.combo->clear();
        QCOMPARE(bar.combo->currentIndex(), -1);
        // Filling an empty list from code leaves it without a selection.
        bar.combo->addItemWithId(QStringLiteral("Foxtrot"), 1);
        bar.combo->addItemWithId(QStringLiteral("Golf"), 2);
        QCOMPARE(bar.combo->currentIndex(), -1);
        bar.combo->setCurrentIndex(1);
        bar.combo->addItemWithId(QStringLiteral("Hotel"), 3);
        QCOMPARE(bar.combo->currentIndex(), 1);
        bar.combo->removeItem(0);
        QCOMPARE(spy.count(), 0);
    }

    void keys_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("raised");

        QTest::newRow("down") << 0 << QList<int> { Qt::Key_Down } << 1 << 1;
        QTest::newRow("right") << 0 << QList<int> { Qt::Key_Right } << 1 << 1;
        QTest::newRow("up") << 2 << QList<int> { Qt::Key_Up } << 1 << 1;
        QTest::newRow("up at the top") << 0 << QList<int> { Qt::Key_Up } << 0 << 0;
        QTest::newRow("down at the bottom") << 4 << QList<int> { Qt::Key_Down } << 4 << 0;
        QTest::newRow("end") << 0 << QList<int> { Qt::Key_End } << 4 << 1;
        QTest::newRow("home on first") << 0 << QList<int> { Qt::Key_Home } << 0 << 0;
        QTest::newRow("page down") << 0 << QList<int> { Qt::Key_PageDown } << 1 << 1;
        QTest::newRow("page up") << 3 << QList<int> { Qt::Key_PageUp } << 2 << 1;
        QTest::newRow("left") << 2 << QList<int> { Qt::Key_Left } << 1 << 1;
        QTest::newRow("home from none") << -1 << QList<int> { Qt::Key_Home } << 0 << 1;
        QTest::newRow("control character")
            << 2 << QList<int> { (Qt::CTRL | Qt::Key_A).toCombined() } << 2 << 0;
        QTest::newRow("down from none") << -1 << QList<int> { Qt::Key_Down } << 0 << 1;
        QTest::newRow("backspace keeps selection") << 2 << QList<int> { Qt::Key_Backspace } << 2 << 1;
        QTest::newRow("backspace twice")
            << 2 << QList<int> { Qt::Key_Backspace, Qt::Key_Backspace } << 2 << 2;
        QTest::newRow("backspace with none") << -1 << QList<int> { Qt::Key_Backspace } << -1 << 1;
        QTest::newRow("prefix grows") << 0 << QList<int> { Qt::Key_B, Qt::Key_R } << 2 << 2;
        QTest::newRow("prefix any case") << 0 << QList<int> { Qt::Key_C } << 3 << 1;
        QTest::newRow("prefix on current") << 1 << QList<int> { Qt::Key_B } << 1 << 0;
        QTest::newRow("prefix matches nothing") << 0 << QList<int> { Qt::Key_X } << 0 << 0;
        QTest::newRow("longer prefix fails") << 0 << QList<int> { Qt::Key_D, Qt::Key_X } << 4 << 1;
        QTest::newRow("delete does nothing") << 2 << QList<int> { Qt::Key_Delete } << 2 << 0;
    }
    void keys()
    {
        QFETCH(int, start);
        QFETCH(QList<int>, keys);
        QFETCH(int, index);
        QFETCH(int, raised);

        Toolbar bar;
        bar.combo->setCurrentIndex(start);
        QSignalSpy spy(bar.combo, &RtlComboBox::changedByUser);
        for (int key : keys) {
            const auto combination = QKeyCombination::fromCombined(key);
            QTest::keyClick(bar.combo, combination.key(), combination.keyboardModifiers());
        }
        QCOMPARE(bar.combo->currentIndex(), index);
        QCOMPARE(spy.count(), raised);
    }

    void typeAheadPauseStartsNewPrefix()
    {
        Toolbar bar;
        QSignalSpy spy(bar.combo, &RtlComboBox::changedByUser);
        QTest::keyClick(bar.combo, 'b');
        QCOMPARE(bar.combo->currentIndex(), 1);
        QTest::qWait(RtlComboBox::TypeAheadIntervalMs + 200);
        // "bc" would match nothing; after the pause "c" stands alone.
        QTest::keyClick(bar.combo, 'c');
        QCOMPARE(bar.combo->currentIndex(), 3);
        QCOMPARE(spy.count(), 2);

        // A prefix that matched nothing is forgotten after a pause too.
        QTest::keyClick(bar.combo, 'z');
        QTest::qWait(RtlComboBox::TypeAheadIntervalMs + 200);
        QTest::keyClick(bar.combo, 'a');
        QCOMPARE(bar.combo->currentIndex(), 0);
        QCOMPARE(spy.count(), 3);
    }

    void spaceContinuesPrefixOnly()
    {
        Toolbar bar;
        bar.combo->addItemWithId(QStringLiteral("Web Design"), 50);
        bar.combo->addItemWithId(QStringLiteral("Web Apps"), 51);
        QSignalSpy spy(bar.combo, &RtlComboBox::changedByUser);
        QTest::keyClicks(bar.combo, QStringLiteral("web d"));
        QCOMPARE(bar.combo->currentIndex(), 5);
        QCOMPARE(spy.count(), 1);
    }

    void wheelLeavesSelection()
    {
        Toolbar bar;
        bar.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar.window));
        bar.combo->setCurrentIndex(2);
        QSignalSpy spy(bar.combo, &RtlComboBox::changedByUser);
        const QPointF at = bar.combo->rect().center();
        for (const int delta : { -120, 120, 120 }) {
            QWheelEvent wheel(at, bar.combo->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(bar.combo, &wheel);
        }
        QCOMPARE(bar.combo->currentIndex(), 2);
        QCOMPARE(spy.count(), 0);
    }

    void popupPick()
    {
        Toolbar bar;
        bar.combo->addItemWithId(
            QStringLiteral("An item name far longer than the field is wide, so the popup "
                           "would grow if nothing stopped it"),
            7);
        bar.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar.window));
        QSignalSpy spy(bar.combo, &RtlComboBox::changedByUser);
        QAbstractItemView *view = bar.combo->view();

        const auto pick = [&](int row) {
            bar.combo->showPopup();
            QTRY_VERIFY(view->isVisible());
            // Releases right after opening are taken as the end of the opening click.
            QTest::qWait(QApplication::doubleClickInterval() + 100);
            const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
            QTRY_VERIFY(!view->isVisible());
        };

        bar.combo->showPopup();
        QTRY_VERIFY(view->isVisible());
        QWidget *popup = view->window();
        QCOMPARE(popup->width(), bar.combo->width());
        QCOMPARE(popup->x(), bar.combo->mapToGlobal(QPoint(0, 0)).x());
        QCOMPARE(popup->y(), bar.combo->mapToGlobal(QPoint(0, bar.combo->height())).y());
        QCOMPARE(view->palette().color(QPalette::Base), QColor(Qt::black));
        bar.combo->hidePopup();
        QTRY_VERIFY(!view->isVisible());
        QCOMPARE(spy.count(), 0);

        pick(3);
        QCOMPARE(bar.combo->currentIndex(), 3);
        QCOMPARE(spy.count(), 1);

        pick(3); // the same item again is no change
        QCOMPARE(bar.combo->currentIndex(), 3);
        QCOMPARE(spy.count(), 1);

        pick(1);
        QCOMPARE(bar.combo->currentIndex(), 1);
        QCOMPARE(spy.count(), 2);

        // Keys inside the open list, then Enter.
        bar.combo->showPopup();
        QTRY_VERIFY(view->isVisible());
        QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(view, Qt::Key_Return);
        QTRY_VERIFY(!view->isVisible());
        QCOMPARE(bar.combo->currentIndex(), 2);
        QCOMPARE(spy.count(), 3);

        // Escape closes without a change, even after moving in the list.
        bar.combo->showPopup();
        QTRY_VERIFY(view->isVisible());
        QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(view, Qt::Key_Escape);
        QTRY_VERIFY(!view->isVisible());
        QCOMPARE(bar.combo->currentIndex(), 2);
        QCOMPARE(spy.count(), 3);
    }

    // The drop-down part lists every item, right-aligned, as wide as the field and
    // below it, however long the list; a pick far down is an ordinary change.
    void popupShowsEveryItemRightToLeft_data()
    {
        QTest::addColumn<int>("items");
        QTest::newRow("a few") << 5;
        QTest::newRow("thousands") << 3000;
    }
    void popupShowsEveryItemRightToLeft()
    {
        QFETCH(int, items);
        QWidget window;
        window.resize(800, 600);
        auto *combo = new RtlComboBox(&window);
        combo->setGeometry(300, 11, 279, 28);
        combo->setTextColor(Qt::white);
        QList<std::pair<QString, qint32>> list;
        for (int i = 0; i < items; ++i)
            list.append({ QStringLiteral("Item %1").arg(i), 1000 + i });
        combo->addItemsWithIds(list);
        QCOMPARE(combo->count(), items);
        QCOMPARE(combo->currentIndex(), -1); // filled from code: nothing chosen
        QCOMPARE(combo->attachedInteger(items - 1), 1000 + items - 1);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy spy(combo, &RtlComboBox::changedByUser);

        combo->showPopup();
        QAbstractItemView *view = combo->view();
        QTRY_VERIFY(view->isVisible());
        QWidget *popup = view->window();
        QCOMPARE(popup->width(), combo->width());
        QCOMPARE(popup->y(), combo->mapToGlobal(QPoint(0, combo->height())).y());
        QCOMPARE(view->model()->rowCount(), items);

        // The first row's text lies against the right edge.
        const QRect row = view->visualRect(view->model()->index(0, 0));
        QVERIFY(!row.isEmpty());
        const QImage picture = view->viewport()->grab().toImage();
        const int w = row.width();
        const QRect rightQuarter(row.left() + w * 3 / 4, row.top(), w / 4, row.height());
        const QRect leftHalf(row.left(), row.top(), w / 2, row.height());
        QVERIFY(pixelsNear(picture, rightQuarter, Qt::white) > 0);
        QCOMPARE(pixelsNear(picture, leftHalf, Qt::white), 0);

        // The last item can be reached and picked.
        const QModelIndex last = view->model()->index(items - 1, 0);
        view->scrollTo(last);
        QTRY_VERIFY(view->viewport()->rect().contains(view->visualRect(last).center()));
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(last).center());
        QTRY_VERIFY(!view->isVisible());
        QCOMPARE(combo->currentIndex(), items - 1);
        QCOMPARE(combo->attachedInteger(combo->currentIndex()), 1000 + items - 1);
        QCOMPARE(spy.count(), 1);
    }

    // Rows of one height at any length of the list, and a one-pixel frame in the theme's
    // #333333 around the drop-down part, seen against the black toolbar.
    void popupRowsAndBorder_data()
    {
        QTest::addColumn<int>("items");
        for (int items : { 1, 5, 6, 40 })
            QTest::addRow("%d items", items) << items;
    }
    void popupRowsAndBorder()
    {
        QFETCH(int, items);
        const QPalette saved = QApplication::palette();
        QPalette dark = saved;
        dark.setColor(QPalette::Dark, QColor(0x33, 0x33, 0x33));
        dark.setColor(QPalette::Window, Qt::black);
        QApplication::setPalette(dark);

        QWidget window;
        window.resize(800, 600);
        auto *combo = new RtlComboBox(&window);
        combo->setGeometry(300, 11, 279, 28);
        QFont font = combo->font();
        font.setPixelSize(15);
        font.setBold(true);
        combo->setFont(font);
        for (int i = 0; i < items; ++i)
            combo->addItemWithId(QStringLiteral("Item %1").arg(i), i);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        combo->showPopup();
        QAbstractItemView *view = combo->view();
        QTRY_VERIFY(view->isVisible());

        const int rowHeight = combo->popupRowHeight();
        QVERIFY(rowHeight >= combo->fontMetrics().height());
        for (int row : { 0, items - 1 })
            QCOMPARE(view->visualRect(view->model()->index(row, 0)).height(), rowHeight);
        // The list is as tall as its rows (up to the visible maximum): a short list is
        // never taller than a longer one.
        QCOMPARE(view->viewport()->height(), std::min(items, combo->maxVisibleItems()) * rowHeight);

        const QImage popup = view->window()->grab().toImage();
        const QColor frame(0x33, 0x33, 0x33);
        for (const QPoint &edge :
            { QPoint(popup.width() / 2, 0), QPoint(popup.width() / 2, popup.height() - 1),
                QPoint(0, popup.height() / 2), QPoint(popup.width() - 1, popup.height() / 2) })
            QCOMPARE(popup.pixelColor(edge), frame);
        // One pixel: the next one in is the list's black.
        QCOMPARE(popup.pixelColor(popup.width() / 2, 1), QColor(Qt::black));
        combo->hidePopup();
        QApplication::setPalette(saved);
    }

    // A field too narrow for its text shows as much of it as fits, from its beginning
    // (the right end), cut at the edge: never an ellipsis alone.
    void narrowFieldCutsItsText_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("text");
        QTest::newRow("type field at design width") << 41 << QStringLiteral("پرۆگرامسازی");
        QTest::newRow("general type at design width") << 41 << QStringLiteral("گشتی");
        QTest::newRow("Latin name") << 41 << QStringLiteral("Programming");
        QTest::newRow("course field, long name")
            << 279 << QStringLiteral("کورسەکێ ب ناڤەکێ زۆر درێژ کو د ناڤ خانێ دا جھێ خۆ نابینیت");
    }
    void narrowFieldCutsItsText()
    {
        QFETCH(int, width);
        QFETCH(QString, text);
        QWidget window;
        window.resize(400, 50);
        auto *combo = new RtlComboBox(&window);
        combo->setGeometry(16, 11, width, 28);
        QFont font = combo->font();
        font.setPixelSize(15);
        font.setBold(true);
        combo->setFont(font);
        // Unfocused (a focused field shows the selection colours), on the dark theme's black.
        combo->setFocusPolicy(Qt::NoFocus);
        QPalette dark = combo->palette();
        for (const auto role : { QPalette::Base, QPalette::Button, QPalette::Window })
            dark.setColor(role, Qt::black);
        combo->setPalette(dark);
        const QColor colour(0x16, 0xA0, 0x85);
        combo->setTextColor(colour);
        combo->addItemWithId(text, 1);
        combo->setCurrentIndex(0);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        const QRect field = editField(combo);
        const QImage image = combo->grab().toImage();
        // An ellipsis in the same font, for comparison.
        QImage dots(field.size(), QImage::Format_ARGB32);
        dots.fill(Qt::black);
        {
            QPainter painter(&dots);
            painter.setFont(combo->font());
            painter.setPen(colour);
            painter.drawText(dots.rect(), Qt::AlignCenter, QStringLiteral("\u2026"));
        }
        const int ink = pixelsNear(image, field, colour);
        const int ellipsis = pixelsNear(dots, dots.rect(), colour);
        QVERIFY2(ink > 2 * ellipsis, qPrintable(QStringLiteral("%1 against %2").arg(ink).arg(ellipsis)));
        // Its beginning at the right end.
        const QRect rightEnd(
            field.right() - field.width() / 3, field.top(), field.width() / 3, field.height());
        QVERIFY(pixelsNear(image, rightEnd, colour) > 0);
    }

    void focusedFieldUsesSelectionColours()
    {
        // A dark application palette must not decide the focus colours.
        const QPalette saved = QApplication::palette();
        QPalette dark = saved;
        dark.setColor(QPalette::Highlight, QColor(0x80, 0x00, 0x00));
        dark.setColor(QPalette::HighlightedText, QColor(0x00, 0x80, 0x00));
        QApplication::setPalette(dark);

        Toolbar bar;
        const QColor text(0x16, 0xA0, 0x85);
        bar.combo->setTextColor(text);
        QLineEdit other(&bar.window);
        other.setGeometry(10, 11, 100, 28);
        bar.window.show();
        bar.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&bar.window));

        const QRect field = editField(bar.combo);
        const QRect leftThird(field.left() + 2, field.top() + 2, field.width() / 3, field.height() - 4);
        const QRect rightThird(
            field.right() - field.width() / 3, field.top() + 2, field.width() / 3 - 2, field.height() - 4);
        const QColor highlight = orvy::ui::platformPalette().color(QPalette::Active, QPalette::Highlight);

        other.setFocus();
        QTRY_VERIFY(other.hasFocus());
        QImage image = bar.combo->grab().toImage();
        QCOMPARE(pixelsNear(image, leftThird, highlight), 0);
        // Text in its own colour, at the right end of the field.
        QVERIFY(pixelsNear(image, rightThird, text) > 0);
        QCOMPARE(pixelsNear(image, leftThird, text), 0);

        bar.combo->setFocus();
        QTRY_VERIFY(bar.combo->hasFocus());
        image = bar.combo->grab().toImage();
        QCOMPARE(image.pixelColor(leftThird.center()), highlight);
        QCOMPARE(pixelsNear(image, field, text), 0);

        QApplication::setPalette(saved);
    }

    void captionPlacement_data()
    {
        QTest::addColumn<int>("labelHeight");
        QTest::addColumn<int>("offset");
        QTest::newRow("shorter, odd difference") << 21 << 3;
        QTest::newRow("shorter, even difference") << 20 << 4;
        QTest::newRow("same height") << 28 << 0;
        QTest::newRow("taller, odd difference") << 31 << -1; // -3 / 2 toward zero
        QTest::newRow("taller, even difference") << 32 << -2;
    }
    void captionPlacement()
    {
        QFETCH(int, labelHeight);
        QFETCH(int, offset);

        Toolbar bar;
        auto *label = new QLabel(QStringLiteral("کورسێن من"), &bar.window);
        label->setFixedSize(90, labelHeight);
        bar.combo->setCaptionLabel(label);
        bar.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar.window));

        const auto expected = [&] {
            const QRect f = bar.combo->geometry();
            return QPoint(f.x() + f.width() + 4, f.y() + offset);
        };
        QCOMPARE(label->pos(), expected());

        bar.combo->move(120, 13);
        QCOMPARE(label->pos(), QPoint(120 + 279 + 4, 13 + offset));
        bar.combo->resize(300, 28);
        QCOMPARE(label->pos(), expected());
    }

    void captionFollowsState()
    {
        Toolbar bar;
        auto *label = new QLabel(QStringLiteral("جورێ کورسی"), &bar.window);
        bar.combo->hide(); // before the window was ever shown
        bar.combo->setCaptionLabel(label);
        QCOMPARE(label->size(), label->sizeHint());
        bar.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar.window));
        QVERIFY(!label->isVisible());

        bar.combo->show();
        QVERIFY(label->isVisible());
        bar.combo->setEnabled(false);
        QVERIFY(!label->isEnabled());
        bar.combo->setEnabled(true);
        QVERIFY(label->isEnabled());
        bar.combo->setVisible(false);
        QVERIFY(!label->isVisible());
        bar.combo->move(40, 11); // moved while hidden
        bar.combo->setVisible(true);
        QCOMPARE(label->x(), 40 + 279 + 4);

        // A label whose size changes is centred again.
        label->setFixedHeight(10);
        QCOMPARE(label->y(), 11 + (28 - 10) / 2);

        // Detached labels stay put.
        bar.combo->setCaptionLabel(nullptr);
        bar.combo->move(0, 0);
        QCOMPARE(label->x(), 40 + 279 + 4);
    }
};

QTEST_MAIN(TestRtlComboBox)
#include "tst_rtlcombobox.moc"
