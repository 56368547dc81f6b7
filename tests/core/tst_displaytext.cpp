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

    // Direction controls in one text stay within it; a NUL is seen. `shown` writes < > for
    // the FSI and PDI around the whole and {name} for each control inside.
    void heldWithin_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain name") << QStringLiteral("فێربوونی C++") << QStringLiteral("فێربوونی C++");
        QTest::newRow("mark without an opener (RLM)") << QStringLiteral("a\u200Fb") << QStringLiteral("a\u200Fb");
        QTest::newRow("NUL") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << QStringLiteral("a\u2400b");
        QTest::newRow("override left open") << QStringLiteral("hidden\u202Etail") << QStringLiteral("<hidden{RLO}tail>");
        QTest::newRow("override closed") << QStringLiteral("a\u202Eb\u202Cc") << QStringLiteral("<a{RLO}b{PDF}c>");
        QTest::newRow("embedding left open") << QStringLiteral("\u202Bab") << QStringLiteral("<{RLE}ab>");
        QTest::newRow("stray PDF") << QStringLiteral("a\u202Cb") << QStringLiteral("<ab>");
        QTest::newRow("stray PDI would end an isolate around it") << QStringLiteral("a\u2069b") << QStringLiteral("<ab>");
        QTest::newRow("isolate left open") << QStringLiteral("a\u2067b") << QStringLiteral("<a{RLI}b{PDI}>");
        QTest::newRow("isolates nested, both open") << QStringLiteral("\u2066a\u2068b")
                                                    << QStringLiteral("<{LRI}a{FSI}b{PDI}{PDI}>");
        QTest::newRow("override inside an isolate, the isolate closed")
            << QStringLiteral("\u2067a\u202Eb\u2069c") << QStringLiteral("<{RLI}a{RLO}b{PDI}c>");
        QTest::newRow("PDF cannot close outside its isolate")
            << QStringLiteral("\u202Ea\u2067\u202Cb") << QStringLiteral("<{RLO}a{RLI}b{PDI}>");
        QTest::newRow("two isolates side by side")
            << QStringLiteral("\u2068a\u2069\u2068b\u2069") << QStringLiteral("<{FSI}a{PDI}{FSI}b{PDI}>");
        QTest::newRow("NUL and override") << QChar(0) + QStringLiteral("\u202E") << QStringLiteral("<\u2400{RLO}>");
    }
    void heldWithin()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        static const QList<std::pair<QString, QChar>> names { { QStringLiteral("{LRE}"), QChar(0x202A) },
            { QStringLiteral("{RLE}"), QChar(0x202B) }, { QStringLiteral("{PDF}"), QChar(0x202C) },
            { QStringLiteral("{RLO}"), QChar(0x202E) }, { QStringLiteral("{LRI}"), QChar(0x2066) },
            { QStringLiteral("{RLI}"), QChar(0x2067) }, { QStringLiteral("{FSI}"), QChar(0x2068) },
            { QStringLiteral("{PDI}"), QChar(0x2069) }, { QStringLiteral("<"), QChar(0x2068) },
            { QStringLiteral(">"), QChar(0x2069) } };
        for (const auto &[name, control] : names)
            shown.replace(name, control);
        QCOMPARE(displayText(text), shown);
        QCOMPARE(displayText(shown), shown); // shown again, it stays as it is
    }

    // A long text cut inside an override: the cut part is held within all the same.
    void cutInsideAnOverride()
    {
        const QString text = QStringLiteral("\u202E") + filler(maxDisplayLength * 2);
        const QString shown = displayText(text);
        QCOMPARE(shown.front(), QChar(0x2068));
        QCOMPARE(shown.back(), QChar(0x2069));
        QCOMPARE(shown.mid(1, shown.size() - 2), text.left(maxDisplayLength - 1) + mark);
    }
};

QTEST_APPLESS_MAIN(TestDisplayText)
#include "tst_displaytext.moc"
