// The order in which the database client library is looked for: the copy shipped in the
// program's folder, by its full path, before any library the system's search would find.
#include "data/mariadbapi.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace orvy::data;

class TestClientLibrary : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void candidates_data()
    {
        QTest::addColumn<QStringList>("filesInFolder");
        QTest::addColumn<QStringList>("foldersInFolder");
        QTest::addColumn<QStringList>("expectedFromFolder");

        const QStringList none;
        // The second name shipped: it goes before the first, which only the system has.
        QTest::newRow("shipped second name first")
            << QStringList { "libmariadb.dll" } << none << QStringList { "libmariadb.dll" };
        QTest::newRow("nothing shipped") << none << none << none;
        // Several shipped: their own order is kept.
        QTest::newRow("two shipped keep their order") << QStringList { "libmariadb.dll", "libmysql.dll" }
                                                     << none << QStringList { "libmysql.dll", "libmariadb.dll" };
        // A folder bearing the name is no library.
        QTest::newRow("a folder of that name") << none << QStringList { "libmariadb.dll" } << none;
        // Some other file beside the program is not taken.
        QTest::newRow("an unrelated file") << QStringList { "libother.dll" } << none << none;
    }

    void candidates()
    {
        QFETCH(QStringList, filesInFolder);
        QFETCH(QStringList, foldersInFolder);
        QFETCH(QStringList, expectedFromFolder);
        const QStringList names { "libmysql.dll", "libmariadb.dll", "libmysqld.dll" };

        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        for (const QString &file : std::as_const(filesInFolder)) {
            QFile library(folder.filePath(file));
            QVERIFY(library.open(QIODevice::WriteOnly));
        }
        for (const QString &sub : std::as_const(foldersInFolder))
            QVERIFY(QDir(folder.path()).mkdir(sub));

        QStringList expected;
        for (const QString &name : std::as_const(expectedFromFolder))
            expected.append(QDir::toNativeSeparators(QDir(folder.path()).absoluteFilePath(name)));
        // The plain names always follow, for the system's search.
        expected += names;
        QCOMPARE(clientLibraryCandidates(names, folder.path()), expected);
    }

    // No program folder known (no application object): only the system's search.
    void noFolder()
    {
        const QStringList names { "libmariadb.so.3", "libmysqlclient.so.21" };
        QCOMPARE(clientLibraryCandidates(names, QString()), names);
    }
};

QTEST_GUILESS_MAIN(TestClientLibrary)
#include "tst_clientlibrary.moc"
