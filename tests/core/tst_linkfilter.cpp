#include "core/linkfilter.h"

#include <QTest>

class TestLinkFilter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // `opened`: the address the desktop is given; empty when the click does nothing.
    void links_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("opened");
        const QString none;
        QTest::newRow("web page") << QStringLiteral("https://www.instagram.com/orvy")
                                  << QStringLiteral("https://www.instagram.com/orvy");
        QTest::newRow("plain http with port and query")
            << QStringLiteral("http://example.org:8080/a?b=c#d") << QStringLiteral("http://example.org:8080/a?b=c#d");
        QTest::newRow("upper-case scheme") << QStringLiteral("HTTPS://Example.org/") << QStringLiteral("https://example.org/");
        QTest::newRow("blanks around") << QStringLiteral("  https://example.org/x \n")
                                       << QStringLiteral("https://example.org/x");
        QTest::newRow("Kurdish path") << QStringLiteral("https://example.org/فێربوون")
                                      << QStringLiteral("https://example.org/فێربوون");
        QTest::newRow("mail") << QStringLiteral("mailto:info@example.org") << QStringLiteral("mailto:info@example.org");
        QTest::newRow("telephone") << QStringLiteral("tel:+9647501234567") << QStringLiteral("tel:+9647501234567");

        QTest::newRow("empty") << QString() << none;
        QTest::newRow("no scheme") << QStringLiteral("www.example.org") << none;
        QTest::newRow("http without host") << QStringLiteral("http:///usr/bin/xterm") << none;
        QTest::newRow("https, nothing after") << QStringLiteral("https://") << none;
        QTest::newRow("local program") << QStringLiteral("file:///usr/bin/xterm") << none;
        QTest::newRow("file on a host") << QStringLiteral("file://server/share/run.exe") << none;
        QTest::newRow("bare path") << QStringLiteral("/usr/bin/xterm") << none;
        QTest::newRow("desktop entry") << QStringLiteral("/usr/share/applications/xterm.desktop") << none;
        QTest::newRow("Windows path") << QStringLiteral("C:\\Windows\\System32\\cmd.exe") << none;
        QTest::newRow("Windows share") << QStringLiteral("\\\\server\\share\\run.exe") << none;
        QTest::newRow("smb share") << QStringLiteral("smb://server/share/run.exe") << none;
        QTest::newRow("javascript") << QStringLiteral("javascript:alert(1)") << none;
        QTest::newRow("vbscript") << QStringLiteral("vbscript:msgbox(1)") << none;
        QTest::newRow("ms-msdt") << QStringLiteral("ms-msdt:/id PCWDiagnostic") << none;
        QTest::newRow("data") << QStringLiteral("data:text/html,<script>alert(1)</script>") << none;
        QTest::newRow("ftp") << QStringLiteral("ftp://example.org/x") << none;
        QTest::newRow("mailto without address") << QStringLiteral("mailto:") << none;
        QTest::newRow("tel without number") << QStringLiteral("tel:") << none;
        QTest::newRow("mailto with a path of the machine") << QStringLiteral("mailto:/etc/passwd") << none;
        QTest::newRow("mailto with a host") << QStringLiteral("mailto://server/x") << none;
        QTest::newRow("scheme-like prefix") << QStringLiteral("https-evil://example.org") << none;
    }
    void links()
    {
        QFETCH(QString, link);
        QFETCH(QString, opened);
        const auto url = orvy::linkToOpen(link);
        if (opened.isEmpty()) {
            QVERIFY2(!url, qPrintable(url ? url->toString() : QString()));
            return;
        }
        QVERIFY(url);
        QCOMPARE(url->toString(), opened);
    }
};

QTEST_APPLESS_MAIN(TestLinkFilter)
#include "tst_linkfilter.moc"
