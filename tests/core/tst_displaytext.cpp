#include "core/displaytext.h"

#include <QTest>

using orvy::displayText;
using orvy::maxDisplayLength;

namespace {

const QChar mark(0x2026);

QString filler(qsizetype length)
{
    return QString(length, u'ب');
}

} // namespace

class TestDisplayText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // `kept`: how much of the text is shown before the mark; -1 when it is shown whole.
    void cut_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("kept");
        const qsizetype keep = maxDisplayLength - 1; // room for the mark
        const QString emoji = QStringLiteral("\U0001F600");
        const QString flag = QStringLiteral("\U0001F1EE\U0001F1F6"); // two regional indicators

        QTest::newRow("empty") << QString() << qsizetype(-1);
        QTest::newRow("a real name") << QStringLiteral("فێربوونی C++") << qsizetype(-1);
        QTest::newRow("exactly the limit") << filler(maxDisplayLength) << qsizetype(-1);
        QTest::newRow("one over") << filler(maxDisplayLength + 1) << keep;
        QTest::newRow("millions") << filler(4 * 1000 * 1000) << keep;
        // The character across the cut goes whole.
        QTest::newRow("surrogate pair across the cut") << filler(keep - 1) + emoji + filler(10) << keep - 1;
        QTest::newRow("surrogate pair ending at the cut") << filler(keep - 2) + emoji + filler(10) << keep;
        QTest::newRow("letter and its mark across the cut")
            << filler(keep - 1) + QStringLiteral("e\u0301") + filler(10) << keep - 1;
        QTest::newRow("Arabic letter and its vowel sign across the cut")
            << filler(keep - 1) + QStringLiteral("ب\u064E") + filler(10) << keep - 1;
        QTest::newRow("several marks across the cut")
            << filler(keep - 3) + QStringLiteral("a\u0301\u0302\u0303\u0304") + filler(10) << keep - 3;
        // The mark after the cut lies outside the part looked at when it is a pair itself.
        QTest::newRow("mark beyond the plane, after the cut")
            << filler(keep - 1) + QStringLiteral("e\U000E0101") + filler(10) << keep - 1;
        QTest::newRow("emoji joined by ZWJ across the cut")
            << filler(keep - 3) + QStringLiteral("\U0001F469\u200D\U0001F4BB") + filler(10) << keep - 3;
        // Flags pair up from the start of their run: the cut falls between two flags.
        QTest::newRow("run of flags")
            << QStringLiteral("a") + flag.repeated(maxDisplayLength) << qsizetype(1997);
        // A single character longer than the limit is cut between its code points.
        QTest::newRow("one letter under thousands of marks")
            << QStringLiteral("a") + QString(maxDisplayLength + 10, QChar(0x0301)) << keep;
        QTest::newRow("one character longer than the limit, a pair across the cut")
            << emoji + QStringLiteral("\U000E0101").repeated(maxDisplayLength) << keep - 1;
    }
    void cut()
    {
        QFETCH(QString, text);
        QFETCH(qsizetype, kept);
        const QString shown = displayText(text);
        if (kept < 0) {
            QCOMPARE(shown, text);
            return;
        }
        QCOMPARE(shown.size(), kept + 1);
        QCOMPARE(shown.chopped(1), text.left(kept));
        QCOMPARE(shown.back(), mark);
        QVERIFY(shown.size() <= maxDisplayLength);
        // Shown again (the course caption takes the list's text), it stays as it is.
        QCOMPARE(displayText(shown), shown);
    }
};

QTEST_APPLESS_MAIN(TestDisplayText)
#include "tst_displaytext.moc"
