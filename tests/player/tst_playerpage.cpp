#include "player/playerpage.h"

#include <QTest>

class TestPlayerPage : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void page_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("inPage");
        QTest::newRow("plain") << QStringLiteral("http://example.test/videos/lesson1.mp4")
                               << QStringLiteral("http://example.test/videos/lesson1.mp4");
        QTest::newRow("query with ampersand") << QStringLiteral("https://cdn.test/v.mp4?a=1&b=2")
                                              << QStringLiteral("https://cdn.test/v.mp4?a=1&amp;b=2");
        QTest::newRow("quote cannot end the attribute") << QStringLiteral(
            "v.mp4\" onerror=\"alert(1)") << QStringLiteral("v.mp4&quot; onerror=&quot;alert(1)");
        QTest::newRow("markup stays text") << QStringLiteral("a<b>c</video><script>x()</script>.mp4")
                                           << QStringLiteral("a&lt;b&gt;c&lt;/video&gt;&lt;script&gt;x()&lt;/"
                                                             "script&gt;.mp4");
        QTest::newRow("already escaped is escaped again")
            << QStringLiteral("v.mp4?x=&amp;") << QStringLiteral("v.mp4?x=&amp;amp;");
        QTest::newRow("single quote and percent kept")
            << QStringLiteral("it's 100%25.mp4") << QStringLiteral("it's 100%25.mp4");
        QTest::newRow("non-ASCII kept as is") << QStringLiteral("http://127.0.0.1/وانە ١/درس.mp4")
                                              << QStringLiteral("http://127.0.0.1/وانە ١/درس.mp4");
        QTest::newRow("empty") << QString() << QString();
    }
    void page()
    {
        QFETCH(QString, link);
        QFETCH(QString, inPage);
        // Written out in full on purpose: the page's every byte is fixed.
        const QString expected = QStringLiteral("<html>\r\n<head><body><video id=\"vid\" width=\"100%\" "
                                                "height=\"100%\" controls=\"play timeline volume\" "
                                                "controlslist=\"play nodownload\" autoplay=\"\" "
                                                "name=\"media\"><source src=\"")
            + inPage + QStringLiteral("\" type=\"video/mp4\"></video> </body></html>");
        QCOMPARE(orvy::player::buildPlayerPage(link), expected);
    }

    void fullScreenScript()
    {
        QCOMPARE(orvy::player::fullScreenScript(),
            QStringLiteral("document.getElementById(\"vid\").msRequestFullScreen()"));
    }
};

QTEST_APPLESS_MAIN(TestPlayerPage)
#include "tst_playerpage.moc"
