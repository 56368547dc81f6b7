#include "core/error.h"
#include "core/integer.h"

#include <QTest>

class TestInteger : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void valid_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint32>("value");
        QTest::newRow("decimal colour") << QStringLiteral("16777215") << 16777215;
        QTest::newRow("leading blank") << QStringLiteral(" 255") << 255;
        QTest::newRow("leading blanks and sign") << QStringLiteral("   -12") << -12;
        QTest::newRow("trailing blank") << QStringLiteral("255 ") << 255;
        QTest::newRow("blanks on both sides") << QStringLiteral(" 12 ") << 12;
        QTest::newRow("hex between blanks") << QStringLiteral("  $FF  ") << 0xFF;
        QTest::newRow("dollar hex") << QStringLiteral("$FF0000") << 0xFF0000;
        QTest::newRow("0x hex") << QStringLiteral("0x0000FF") << 0xFF;
        QTest::newRow("x hex") << QStringLiteral("x1F") << 0x1F;
        QTest::newRow("upper X, lower digits") << QStringLiteral("0Xab") << 0xAB;
        QTest::newRow("minus one") << QStringLiteral("-1") << -1;
        QTest::newRow("plus") << QStringLiteral("+7") << 7;
        QTest::newRow("zero") << QStringLiteral("0") << 0;
        QTest::newRow("leading zeros") << QStringLiteral("007") << 7;
        QTest::newRow("max") << QStringLiteral("2147483647") << 2147483647;
        QTest::newRow("min") << QStringLiteral("-2147483648") << qint32(-2147483647 - 1);
        QTest::newRow("hex full pattern") << QStringLiteral("$FFFFFFFF") << -1;
        QTest::newRow("hex high bit") << QStringLiteral("0x80000000") << qint32(-2147483647 - 1);
        QTest::newRow("negated hex") << QStringLiteral("-$10") << -16;
    }
    void valid()
    {
        QFETCH(QString, text);
        QFETCH(qint32, value);
        QCOMPARE(orvy::parseInteger(text), value);
    }

    void invalid_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("blank only") << QStringLiteral(" ");
        QTest::newRow("trailing garbage") << QStringLiteral("12a");
        QTest::newRow("blank inside") << QStringLiteral("1 2");
        QTest::newRow("blank between prefix and digits") << QStringLiteral("$ FF");
        QTest::newRow("trailing blanks after a prefix alone") << QStringLiteral("0x  ");
        QTest::newRow("hash colour") << QStringLiteral("#FF0000");
        QTest::newRow("tab after") << QStringLiteral("12\t");
        QTest::newRow("above max") << QStringLiteral("2147483648");
        QTest::newRow("below min") << QStringLiteral("-2147483649");
        QTest::newRow("far too long") << QStringLiteral("99999999999999999999999");
        QTest::newRow("0x without digits") << QStringLiteral("0x");
        QTest::newRow("dollar without digits") << QStringLiteral("$");
        QTest::newRow("sign only") << QStringLiteral("-");
        QTest::newRow("hex beyond 32 bits") << QStringLiteral("$100000000");
        QTest::newRow("bad hex digit") << QStringLiteral("$FG");
        QTest::newRow("sign after blank after sign") << QStringLiteral("- 1");
        QTest::newRow("double prefix") << QStringLiteral("0x$1");
        QTest::newRow("arabic-indic digits") << QStringLiteral("١٢٣");
    }
    void invalid()
    {
        QFETCH(QString, text);
        try {
            orvy::parseInteger(text);
            QFAIL("no error");
        } catch (const orvy::Error &e) {
            QCOMPARE(e.message(), QStringLiteral("'%1' is not a valid integer value").arg(text));
        }
    }
};

QTEST_APPLESS_MAIN(TestInteger)
#include "tst_integer.moc"
