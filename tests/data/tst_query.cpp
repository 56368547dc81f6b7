// Query texts, reading rules and the branding query's column checks, against a private server.
#include "data/connection.h"
#include "data/dberror.h"
#include "data/interfacequery.h"
#include "data/query.h"
#include "data/querytexts.h"
#include "mariadbserver.h"

#include <QTest>

using namespace orvy::data;
using orvy::test::MariaDbServer;

namespace {

const QString kurdish = QStringLiteral("فێربوونی زمانی کوردی — وانەی یەکەم");
const QString arabic = QStringLiteral("دورة اللغة العربية للمبتدئين");
const QString emoji = QStringLiteral("🎬 درس 😀 𝄞");

QString repeated(const QString &piece, int times)
{
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

} // namespace

class TestQuery : public QObject {
    Q_OBJECT

private:
    MariaDbServer m_server;
    std::unique_ptr<Connection> m_connection;

    DbSettings settings(const QString &database) const
    {
        DbSettings s;
        s.host = m_server.host();
        s.port = m_server.port();
        s.database = database;
        s.user = m_server.user();
        s.password = m_server.password();
        s.retryPauseMs = 100;
        return s;
    }

    // Replaces the `interface` table of the `shapes` database.
    bool reshapeInterface(const QString &columns, const QString &insert = QString())
    {
        return m_server.runSql(QStringLiteral("DROP TABLE IF EXISTS interface;"
                                              "CREATE TABLE interface (%1) DEFAULT CHARSET=utf8mb4;%2")
                                   .arg(columns, insert),
            QStringLiteral("shapes"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        QVERIFY2(m_server.createDatabase(
                     QStringLiteral("shapes"), QStringLiteral("reader"), QStringLiteral("s3cr3t-Pw'x")),
            qPrintable(m_server.errorString()));
        QVERIFY2(m_server.createDatabase(
                     QStringLiteral("courses"), QStringLiteral("reader"), QStringLiteral("s3cr3t-Pw'x")),
            qPrintable(m_server.errorString()));
        QVERIFY2(m_server.createCourseTables(QStringLiteral("courses")), qPrintable(m_server.errorString()));
        const QString seed = QStringLiteral(
            "INSERT INTO interface (intPics, intLBL1, intLBL2, intLBL3, intLBLPhone, intLBLWhats, "
            "intLBLInsta,"
            " intLBLOrvy, fbLink, lblColor1, lblColor2, lblColor3) VALUES"
            " ('http://127.0.0.1/banner.png', %1, %2, %3, '0750 000 0000', NULL, "
            "'https://instagram.example/x',"
            "  'orvy.example', 'https://facebook.example/x', '16777215', '$FF0000', NULL);"
            "INSERT INTO courses VALUES (1, %1, 10), (2, NULL, 10), (3, %2, 20), (4, %3, NULL);"
            "INSERT INTO classtype VALUES (10, 'Kurdish'), (20, 'Arabic');"
            "INSERT INTO lessons VALUES"
            " ('third', 'http://127.0.0.1/3.mp4', 1, 1, 30),"
            " ('first', 'http://127.0.0.1/1.mp4', 1, 1, 10),"
            " ('hidden', 'http://127.0.0.1/h.mp4', 1, 0, 15),"
            " ('hidden null', 'http://127.0.0.1/n.mp4', 1, NULL, 16),"
            " ('second', 'http://127.0.0.1/2.mp4', 1, 1, 20),"
            " ('other course', 'http://127.0.0.1/o.mp4', 2, 1, 1),"
            " ('course zero', 'http://127.0.0.1/z.mp4', 0, 1, 1);")
                                 .arg(MariaDbServer::quoted(kurdish), MariaDbServer::quoted(arabic),
                                     MariaDbServer::quoted(emoji));
        QVERIFY2(m_server.runSql(seed, QStringLiteral("courses")), qPrintable(m_server.errorString()));
        m_connection = std::make_unique<Connection>(settings(QStringLiteral("courses")));
    }

    void queryTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<int>("rows");
        QTest::newRow("Q1") << sql::q1Interface() << QStringLiteral("SELECT * FROM interface") << 1;
        QTest::newRow("Q2") << sql::q2Courses() << QStringLiteral("SELECT * FROM courses") << 4;
        QTest::newRow("Q3 all types")
            << sql::q3CoursesWhere(0) << QStringLiteral("SELECT * FROM courses WHERE  1") << 4;
        QTest::newRow("Q3 one type") << sql::q3CoursesWhere(10)
                                     << QStringLiteral("SELECT * FROM courses WHERE  ctID = 10") << 2;
        QTest::newRow("Q3 negative id")
            << sql::q3CoursesWhere(-7) << QStringLiteral("SELECT * FROM courses WHERE  ctID = -7") << 0;
        QTest::newRow("Q4") << sql::q4ClassTypes() << QStringLiteral("SELECT ctID, ctName FROM `classtype`")
                            << 2;
        QTest::newRow("Q5")
            << sql::q5Lessons(1)
            << QStringLiteral(
                   "SELECT `LName`, `LLink` FROM `lessons` WHERE cID = 1 AND active = 1 ORDER BY LSORT;")
            << 3;
        QTest::newRow("Q5 course zero")
            << sql::q5Lessons(0)
            << QStringLiteral(
                   "SELECT `LName`, `LLink` FROM `lessons` WHERE cID = 0 AND active = 1 ORDER BY LSORT;")
            << 1;
        QTest::newRow("Q5 largest id") << sql::q5Lessons(2147483647)
                                       << QStringLiteral("SELECT `LName`, `LLink` FROM `lessons` WHERE cID = "
                                                         "2147483647 AND active = 1 ORDER BY LSORT;")
                                       << 0;
    }
    void queryTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, sent);
        QFETCH(int, rows);
        QCOMPARE(text, sent);

        QVERIFY(m_server.setGeneralLog(true));
        m_server.clearGeneralLog();
        Query temp(*m_connection, QStringLiteral("Temp"));
        temp.open(text);
        const QStringList logged = m_server.loggedQueries();
        QVERIFY(m_server.setGeneralLog(false));
        // The server drops a statement's trailing semicolons and blanks before it logs it;
        // everything else must arrive untouched (the two blanks of Q3 included).
        QString arrived = sent;
        while (arrived.endsWith(u';') || arrived.endsWith(u' '))
            arrived.chop(1);
        QVERIFY2(logged.contains(arrived), qPrintable(logged.join(u'|')));
        QCOMPARE(temp.recordCount(), rows);
    }

    void lessonsListedInOrder()
    {
        Query temp(*m_connection, QStringLiteral("Temp"));
        temp.open(sql::q5Lessons(1));
        QStringList names;
        QStringList links;
        for (; !temp.eof(); temp.next()) {
            names << temp.asString(QStringLiteral("LName"));
            links << temp.asString(QStringLiteral("LLink"));
        }
        // Inactive lessons (0 or NULL) never show; the rest follow LSORT.
        QCOMPARE(names,
            QStringList({ QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third") }));
        QCOMPARE(links.first(), QStringLiteral("http://127.0.0.1/1.mp4"));
    }

    // Without the shipped schema's index every course choice reads every lesson of the
    // school and sorts: the server's work grows with the catalogue, not with the course.
    void lessonsOfACourseComeThroughTheIndex()
    {
        Query explain(*m_connection, QStringLiteral("Temp"));
        explain.open(QStringLiteral("EXPLAIN ") + sql::q5Lessons(1));
        QCOMPARE(explain.asString(QStringLiteral("key")), QStringLiteral("lessons_of_course"));
        QCOMPARE(explain.asString(QStringLiteral("type")), QStringLiteral("ref"));
        QVERIFY2(!explain.asString(QStringLiteral("Extra")).contains(QStringLiteral("filesort")),
            qPrintable(explain.asString(QStringLiteral("Extra"))));
    }

    void walkAndRead()
    {
        Query temp(*m_connection, QStringLiteral("Temp"));
        QVERIFY(temp.eof());
        QCOMPARE(temp.recordCount(), 0);
        temp.open(QStringLiteral("SELECT * FROM courses ORDER BY cID"));
        QVERIFY(temp.isOpen());
        QCOMPARE(temp.recordCount(), 4);

        // Names match in any letter case.
        QCOMPARE(temp.asInteger(QStringLiteral("CID")), 1);
        QCOMPARE(temp.asString(QStringLiteral("cname")), kurdish);
        QCOMPARE(temp.asString(QStringLiteral("cid")), QStringLiteral("1"));
        temp.next();
        // NULL text reads as the empty text, a NULL integer as 0.
        QCOMPARE(temp.asInteger(QStringLiteral("cID")), 2);
        QCOMPARE(temp.asString(QStringLiteral("cName")), QString());
        QVERIFY(temp.isNull(QStringLiteral("cName")));
        temp.next();
        temp.next();
        QCOMPARE(temp.asInteger(QStringLiteral("ctID")), 0);
        QCOMPARE(temp.asString(QStringLiteral("ctID")), QString());
        QVERIFY(!temp.eof());
        temp.next();
        QVERIFY(temp.eof());
        temp.next();
        QVERIFY(temp.eof());

        // Re-opening replaces the result and starts at its first row again.
        temp.open(QStringLiteral("SELECT ctName FROM classtype WHERE ctID = 20"));
        QCOMPARE(temp.recordCount(), 1);
        QCOMPARE(temp.asString(QStringLiteral("ctName")), QStringLiteral("Arabic"));

        temp.open(QStringLiteral("SELECT * FROM courses WHERE cID = -1"));
        QVERIFY(temp.isOpen());
        QVERIFY(temp.eof());
        QCOMPARE(temp.asString(QStringLiteral("cName")), QString());

        temp.close();
        QVERIFY(!temp.isOpen());
        QVERIFY(temp.eof());
    }

    void statementWithoutRows()
    {
        Query temp(*m_connection, QStringLiteral("Temp"));
        temp.open(QStringLiteral("DO 1"));
        QVERIFY(temp.isOpen());
        QVERIFY(temp.eof());
        QCOMPARE(temp.recordCount(), 0);
        // The connection is ready for the next statement.
        temp.open(QStringLiteral("SELECT 5 AS n"));
        QCOMPARE(temp.asInteger(QStringLiteral("n")), 5);
    }

    void textAsInteger_data()
    {
        QTest::addColumn<QString>("literal");
        QTest::addColumn<qint32>("value");
        QTest::addColumn<QString>("error");
        QTest::newRow("colour decimal") << QStringLiteral("'16777215'") << 16777215 << QString();
        QTest::newRow("colour hex") << QStringLiteral("'0x0000FF'") << 255 << QString();
        QTest::newRow("leading blanks") << QStringLiteral("'  42'") << 42 << QString();
        QTest::newRow("null") << QStringLiteral("NULL") << 0 << QString();
        QTest::newRow("empty text") << QStringLiteral("''") << 0
                                    << QStringLiteral("'' is not a valid integer value");
        QTest::newRow("garbage") << QStringLiteral("'12a'") << 0
                                 << QStringLiteral("'12a' is not a valid integer value");
        QTest::newRow("bigint beyond 32 bits") << QStringLiteral("CAST(4294967296 AS SIGNED)") << 0
                                               << QStringLiteral("'4294967296' is not a valid integer value");
    }
    void textAsInteger()
    {
        QFETCH(QString, literal);
        QFETCH(qint32, value);
        QFETCH(QString, error);
        Query temp(*m_connection, QStringLiteral("Temp"));
        temp.open(QStringLiteral("SELECT %1 AS v").arg(literal));
        try {
            QCOMPARE(temp.asInteger(QStringLiteral("v")), value);
            QVERIFY2(error.isEmpty(), "no error");
        } catch (const orvy::Error &e) {
            QCOMPARE(e.message(), error);
        }
    }

    void queryErrors_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown field") << QStringLiteral("SELECT 1 AS a") << QStringLiteral("b")
                                       << QStringLiteral("Temp: Field 'b' not found");
        QTest::newRow("no columns at all")
            << QStringLiteral("DO 1") << QStringLiteral("a") << QStringLiteral("Temp: Field 'a' not found");
        QTest::newRow("closed") << QString() << QStringLiteral("a")
                                << QStringLiteral("Temp: Cannot perform this operation on a closed dataset");
    }
    void queryErrors()
    {
        QFETCH(QString, sql);
        QFETCH(QString, field);
        QFETCH(QString, message);
        Query temp(*m_connection, QStringLiteral("Temp"));
        if (!sql.isEmpty())
            temp.open(sql);
        try {
            temp.asString(field);
            QFAIL("no error");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), message);
        }
    }

    void sqlErrorLeavesQueryClosed()
    {
        Query temp(*m_connection, QStringLiteral("Temp"));
        temp.open(QStringLiteral("SELECT 1 AS a"));
        try {
            temp.open(QStringLiteral("SELECT * FROM missing_table"));
            QFAIL("no error");
        } catch (const DbError &e) {
            QCOMPARE(e.clientError(), 1146u);
            QCOMPARE(e.message(), QStringLiteral("[MariaDB] Table 'courses.missing_table' doesn't exist"));
        }
        QVERIFY(!temp.isOpen());
        // An SQL error is no reason to drop the connection.
        QVERIFY(m_connection->isOpen());
    }

    void unicodeRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("kurdish") << kurdish;
        QTest::newRow("arabic") << arabic;
        QTest::newRow("four-byte characters") << emoji;
    }
    void unicodeRoundTrip()
    {
        QFETCH(QString, text);
        // Stored by another client, read by ours.
        Query temp(*m_connection, QStringLiteral("Temp"));
        temp.open(QStringLiteral("SELECT cName FROM courses WHERE cName = '%1'").arg(text));
        QCOMPARE(temp.recordCount(), 1);
        QCOMPARE(temp.asString(QStringLiteral("cName")), text);
        // Sent by ours inside the query text and read back.
        temp.open(QStringLiteral("SELECT '%1' AS t, CHAR_LENGTH('%1') AS n").arg(text));
        QCOMPARE(temp.asString(QStringLiteral("t")), text);
        QCOMPARE(temp.asInteger(QStringLiteral("n")), int(text.toUcs4().size()));
    }

    void sessionCharacterSet()
    {
        Query temp(*m_connection, QStringLiteral("Temp"));
        temp.open(QStringLiteral("SELECT @@character_set_client AS c, @@character_set_connection AS n, "
                                 "@@character_set_results AS r"));
        QCOMPARE(temp.asString(QStringLiteral("c")), QStringLiteral("utf8mb4"));
        QCOMPARE(temp.asString(QStringLiteral("n")), QStringLiteral("utf8mb4"));
        QCOMPARE(temp.asString(QStringLiteral("r")), QStringLiteral("utf8mb4"));
    }

    void interfaceRow()
    {
        InterfaceQuery interfaceQ(*m_connection);
        interfaceQ.close();
        interfaceQ.open();
        QVERIFY(!interfaceQ.eof());
        QCOMPARE(
            interfaceQ.asString(QStringLiteral("intPics")), QStringLiteral("http://127.0.0.1/banner.png"));
        QCOMPARE(interfaceQ.asString(QStringLiteral("INTLBL1")), kurdish);
        QCOMPARE(interfaceQ.asString(QStringLiteral("intLBL3")), emoji);
        QCOMPARE(interfaceQ.asString(QStringLiteral("intLBLWhats")), QString());
        QCOMPARE(interfaceQ.asString(QStringLiteral("fbLink")), QStringLiteral("https://facebook.example/x"));
        QCOMPARE(interfaceQ.asInteger(QStringLiteral("intID")), 1);
        QCOMPARE(interfaceQ.asInteger(QStringLiteral("lblColor1")), 0xFFFFFF);
        QCOMPARE(interfaceQ.asInteger(QStringLiteral("lblColor2")), 0xFF0000);
        QCOMPARE(interfaceQ.asInteger(QStringLiteral("lblColor3")), 0);
        try {
            interfaceQ.asString(QStringLiteral("intLBL4"));
            QFAIL("undeclared column read");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), QStringLiteral("interfaceQ: Field 'intLBL4' not found"));
        }
    }

    void interfaceColumns_data()
    {
        const QString texts = QStringLiteral(
            "intPics VARCHAR(255), intLBL1 VARCHAR(255), intLBL2 VARCHAR(255), intLBL3 VARCHAR(255),"
            " intLBLPhone VARCHAR(255), intLBLWhats VARCHAR(255), intLBLInsta VARCHAR(255),"
            " intLBLOrvy VARCHAR(255), %1, lblColor1 VARCHAR(30), lblColor2 VARCHAR(30), lblColor3 "
            "VARCHAR(30)");
        const QString fb = QStringLiteral("fbLink VARCHAR(255)");
        const QString id = QStringLiteral("intID INT AUTO_INCREMENT PRIMARY KEY, ");

        QTest::addColumn<QString>("columns");
        QTest::addColumn<QString>("error");
        QTest::newRow("as deployed") << id + texts.arg(fb) << QString();
        QTest::newRow("other integer and text types") << QStringLiteral("intID BIGINT, ")
                + texts.arg(QStringLiteral("fbLink TEXT"))
                      .replace(QStringLiteral("intLBL2 VARCHAR(255)"), QStringLiteral("intLBL2 CHAR(20)"))
                                                      << QString();
        QTest::newRow("extra column, other order")
            << QStringLiteral("extra INT, ") + texts.arg(fb) + QStringLiteral(", intID INT") << QString();
        QTest::newRow("fbLink missing") << id + texts.arg(QStringLiteral("other VARCHAR(255)"))
                                        << QStringLiteral("interfaceQ: Field 'FacebookLink' not found");
        QTest::newRow("intID missing")
            << texts.arg(fb) << QStringLiteral("interfaceQ: Field 'intID' not found");
        QTest::newRow("text column holds an integer")
            << id
                + texts.arg(fb).replace(QStringLiteral("intLBL2 VARCHAR(255)"), QStringLiteral("intLBL2 INT"))
            << QStringLiteral(
                   "interfaceQ: Type mismatch for field 'intLBL2', expecting: WideString actual: Integer");
        QTest::newRow("fbLink binary")
            << id + texts.arg(QStringLiteral("fbLink VARBINARY(255)"))
            << QStringLiteral("interfaceQ: Type mismatch for field 'FacebookLink', expecting: WideString "
                              "actual: VarBytes");
        QTest::newRow("id as text")
            << QStringLiteral("intID VARCHAR(10), ") + texts.arg(fb)
            << QStringLiteral("interfaceQ: Type mismatch for field 'intID', expecting: AutoInc actual: "
                              "WideString");
        QTest::newRow("colour as date")
            << id
                + texts.arg(fb).replace(
                    QStringLiteral("lblColor3 VARCHAR(30)"), QStringLiteral("lblColor3 DATE"))
            << QStringLiteral(
                   "interfaceQ: Type mismatch for field 'lblColor3', expecting: WideString actual: Date");
    }
    void interfaceColumns()
    {
        QFETCH(QString, columns);
        QFETCH(QString, error);
        QVERIFY2(reshapeInterface(columns), qPrintable(m_server.errorString()));
        Connection connection(settings(QStringLiteral("shapes")));
        InterfaceQuery interfaceQ(connection);
        try {
            interfaceQ.open();
            QVERIFY2(error.isEmpty(), "opened");
            QVERIFY(interfaceQ.eof());
        } catch (const DbError &e) {
            QCOMPARE(e.message(), error);
            QVERIFY(!interfaceQ.isOpen());
        }
    }

    void interfaceTextCutToFieldSize()
    {
        // A wider table than declared: reading cuts to 255 (30 for colours) characters,
        // counting a four-byte character as one.
        const QString longText
            = repeated(QStringLiteral("ب"), 254) + QStringLiteral("😀") + QStringLiteral("tail");
        const QString colour
            = repeated(QStringLiteral("0"), 27) + QStringLiteral("255") + QStringLiteral("xyz");
        QVERIFY2(reshapeInterface(
                     QStringLiteral("intID INT AUTO_INCREMENT PRIMARY KEY, intPics TEXT, intLBL1 TEXT,"
                                    " intLBL2 TEXT, intLBL3 TEXT, intLBLPhone TEXT, intLBLWhats TEXT,"
                                    " intLBLInsta TEXT, intLBLOrvy TEXT, fbLink TEXT, lblColor1 TEXT,"
                                    " lblColor2 TEXT, lblColor3 TEXT"),
                     QStringLiteral(
                         "INSERT INTO interface (intLBL1, intLBL2, lblColor1, lblColor2) VALUES (%1, %2, "
                         "%3, '  12')")
                         .arg(MariaDbServer::quoted(longText), MariaDbServer::quoted(kurdish),
                             MariaDbServer::quoted(colour))),
            qPrintable(m_server.errorString()));
        Connection connection(settings(QStringLiteral("shapes")));
        InterfaceQuery interfaceQ(connection);
        interfaceQ.open();
        const QString read = interfaceQ.asString(QStringLiteral("intLBL1"));
        QCOMPARE(read.toUcs4().size(), 255);
        QCOMPARE(read, longText.left(read.size()));
        QVERIFY(read.endsWith(QStringLiteral("😀")));
        QCOMPARE(interfaceQ.asString(QStringLiteral("intLBL2")), kurdish);
        // Only the cut text is read as an integer, so the trailing "xyz" is gone.
        QCOMPARE(interfaceQ.asString(QStringLiteral("lblColor1")).size(), 30);
        QCOMPARE(interfaceQ.asInteger(QStringLiteral("lblColor1")), 255);
        QCOMPARE(interfaceQ.asInteger(QStringLiteral("lblColor2")), 12);
        // A plain query cuts nothing.
        Query temp(connection, QStringLiteral("Temp"));
        temp.open(QStringLiteral("SELECT intLBL1 FROM interface"));
        QCOMPARE(temp.asString(QStringLiteral("intLBL1")), longText);
    }
};

QTEST_GUILESS_MAIN(TestQuery)
#include "tst_query.moc"
