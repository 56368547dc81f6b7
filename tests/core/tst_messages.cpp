#include "core/messages.h"

#include <QTest>

class TestMessages : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void title_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("title");
        QTest::newRow("windows name") << QStringLiteral("OrvyClass.exe") << QStringLiteral("Orvyclass");
        QTest::newRow("no extension") << QStringLiteral("OrvyClass") << QStringLiteral("Orvyclass");
        QTest::newRow("first dot ends it") << QStringLiteral("Orvy.Class.exe") << QStringLiteral("Orvy");
        QTest::newRow("lower first kept") << QStringLiteral("oRVY") << QStringLiteral("orvy");
        QTest::newRow("one letter") << QStringLiteral("X.exe") << QStringLiteral("X");
        QTest::newRow("dot first") << QStringLiteral(".hidden") << QString();
    }
    void title()
    {
        QFETCH(QString, file);
        QFETCH(QString, title);
        QCOMPARE(orvy::applicationTitle(file), title);
    }

    void fullStop_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QStringLiteral("Server gone") << QStringLiteral("Server gone.");
        QTest::newRow("has stop") << QStringLiteral("Done.") << QStringLiteral("Done.");
        QTest::newRow("parenthesis") << QStringLiteral("Error (5)") << QStringLiteral("Error (5)");
        QTest::newRow("quote") << QStringLiteral("Invalid URL: \"x\"")
                               << QStringLiteral("Invalid URL: \"x\"");
        QTest::newRow("blank") << QStringLiteral("trailing ") << QStringLiteral("trailing ");
        QTest::newRow("comma below stop") << QStringLiteral("a,") << QStringLiteral("a,");
        QTest::newRow("slash above stop") << QStringLiteral("a/") << QStringLiteral("a/.");
        QTest::newRow("digit") << QStringLiteral("code 7") << QStringLiteral("code 7.");
        QTest::newRow("arabic") << QStringLiteral("خطأ") << QStringLiteral("خطأ.");
        QTest::newRow("empty") << QString() << QString();
    }
    void fullStop()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(orvy::withFullStop(message), shown);
    }
};

QTEST_APPLESS_MAIN(TestMessages)
#include "tst_messages.moc"
