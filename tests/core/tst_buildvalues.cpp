// Deployment values with quotes, backslashes, list separators and non-ASCII text reach
// the program exactly as they were given to CMake.
#include "buildvaluecases.h"

#include <QTest>

class TestBuildValues : public QObject {
    Q_OBJECT

private slots:
    void unchanged_data()
    {
        QTest::addColumn<QString>("built");
        QTest::addColumn<QString>("given");
        for (const BuildValueCase &c : buildValueCases)
            QTest::newRow(c.name) << QString::fromUtf8(c.built) << QString::fromUtf8(c.given);
    }

    void unchanged()
    {
        QFETCH(QString, built);
        QFETCH(QString, given);
        QCOMPARE(built, given);
    }
};

QTEST_APPLESS_MAIN(TestBuildValues)
#include "tst_buildvalues.moc"
