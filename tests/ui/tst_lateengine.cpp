// The window starts without the web engine; the first play loads it from its plug-in
// and the lesson's picture shows. Unlike the other player tests, this program does not
// link the engine itself: like the shipped program, it has only the plug-in.
#include "formfixture.h"
#include "ui/browser/edgebrowser.h"
#include "ui/widgets/lessonlist.h"
#include "ui/widgets/rtlcombobox.h"

#include <QFile>
#include <QScreen>
#include <QSet>
#include <QTest>

using orvy::test::FormFixture;
using orvy::ui::TForm1;

namespace {

bool engineLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

} // namespace

class TestLateEngine : public QObject {
    Q_OBJECT

private:
    FormFixture m_fixture;

    // What the screen shows of the player.
    static QImage screenOf(QWidget *widget)
    {
        const QPoint topLeft = widget->mapToGlobal(QPoint(0, 0));
        return widget->screen()
            ->grabWindow(0, topLeft.x(), topLeft.y(), widget->width(), widget->height())
            .toImage();
    }
    // The test video is a colour pattern; a blank page or an empty player has few colours.
    static int colours(const QImage &image)
    {
        QSet<QRgb> seen;
        for (int y = 0; y < image.height(); y += 4) {
            for (int x = 0; x < image.width(); x += 4)
                seen.insert(image.pixel(x, y) & 0xF0F0F0);
        }
        return int(seen.size());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_fixture.start(&error), qPrintable(error));
        const QString clipUrl = m_fixture.serveLessonClip(&error, QSize(320, 240), false);
        QVERIFY2(!clipUrl.isEmpty(), qPrintable(error));
        m_fixture.seedCatalogue();
        m_fixture.sql(QStringLiteral("UPDATE lessons SET LLink = %1 WHERE cID = 10")
                          .arg(orvy::test::MariaDbServer::quoted(clipUrl)));
    }

    void firstPlayLoadsTheEngineAndShowsThePicture()
    {
        const std::unique_ptr<TForm1> form = m_fixture.showForm();
        QVERIFY(form);
        QVERIFY2(!engineLoaded(), "the window loaded the web engine before any play");

        orvy::test::chooseFirstCourse(*form);
        QCOMPARE(form->ListBox1->count(), 3);
        orvy::test::doubleClickLesson(*form, 0);

        QTRY_VERIFY_WITH_TIMEOUT(form->EdgeBrowser1->isCreated(), 60000);
        QVERIFY(engineLoaded());
        QVERIFY(!form->Panel2->isVisible());
        // The video plays on the screen: a colourful picture that keeps changing.
        QTRY_VERIFY_WITH_TIMEOUT(colours(screenOf(form->EdgeBrowser1)) > 8, 30000);
        const QImage shown = screenOf(form->EdgeBrowser1);
        QTRY_VERIFY_WITH_TIMEOUT(screenOf(form->EdgeBrowser1) != shown, 10000);
    }
};

QTEST_MAIN(TestLateEngine)
#include "tst_lateengine.moc"
