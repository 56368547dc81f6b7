// The window against the scale-out sets of scripts/scale-out.sh: HAProxy in front of a
// primary with two replicas, and in front of a three-node Galera cluster. The node the
// window is connected to dies or freezes between two course choices; the second choice
// must still list its lessons, with no message box.
#include "data/connection.h"
#include "envfile.h"
#include "formfixture.h"
#include "testpaths.h"
#include "tmpdir.h"
#include "ui/tform1.h"
#include "ui/theme.h"
#include "ui/widgets/lessonlist.h"
#include "ui/widgets/rtlcombobox.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <signal.h>
#include <unistd.h>

using orvy::test::HttpServer;
using orvy::test::MessageBoxCatcher;
using orvy::ui::TForm1;

namespace {

const QString script = QStringLiteral(ORVY_SOURCE_DIR "/scripts/scale-out.sh");
const QString database = QStringLiteral("orvy");
const QString password = QStringLiteral("Sc4le-0ut-pw");

// The servers' socket paths must fit the kernel's 108 bytes.
constexpr qsizetype maxDirLength = 80;

QStringList itemTexts(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

// Courses in the order the lists show them, each with its active lessons in order.
struct Course {
    int id;
    QString name;
    QStringList lessons;
};
const QList<Course> courses {
    { 10, QStringLiteral("فێربوونی C++"), { QStringLiteral("وانەی یەکەم"), QStringLiteral("وانەی دووەم") } },
    { 20, QStringLiteral("Python"),
        { QStringLiteral("Py 1"), QStringLiteral("Py 2"), QStringLiteral("Py 3") } },
};

QString seedSql()
{
    QString sql = QStringLiteral("INSERT INTO interface (intPics, intLBL1, intLBL2, intLBL3, intLBLPhone, "
                                 "intLBLWhats, intLBLInsta, intLBLOrvy, fbLink, lblColor1, lblColor2, "
                                 "lblColor3) VALUES (@BANNER@, 'بەخێربێن', 'پەیوەندی', 'فێربوون', '+964', "
                                 "'', '', '', '', '16777215', '255', '255');"
                                 "INSERT INTO classtype VALUES (1, 'بەرنامەسازی');");
    for (const Course &course : courses) {
        sql += QStringLiteral("INSERT INTO courses VALUES (%1, %2, 1);")
                   .arg(course.id)
                   .arg(orvy::test::MariaDbServer::quoted(course.name));
        for (qsizetype i = 0; i < course.lessons.size(); ++i)
            sql += QStringLiteral("INSERT INTO lessons VALUES (%1, 'http://127.0.0.1/%2.mp4', %3, 1, %2);")
                       .arg(orvy::test::MariaDbServer::quoted(course.lessons.at(i)))
                       .arg(i + 1)
                       .arg(course.id);
    }
    return sql;
}

} // namespace

class TestScaleOut : public QObject {
    Q_OBJECT

private:
    HttpServer m_http;
    std::unique_ptr<QTemporaryDir> m_shortDir;
    QString m_dir;
    bool m_started = false;

    bool runScript(const QStringList &arguments, QString *output)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SCALE_OUT_PORT"), QStringLiteral("auto"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral("bash"), QStringList { script } + arguments);
        const bool finished = process.waitForFinished(300000);
        if (!finished) {
            process.kill();
            process.waitForFinished(5000);
        }
        *output = QString::fromUtf8(process.readAll());
        return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    bool sql(const QString &socket, const QString &statements, const QString &db, QString *output)
    {
        QStringList args { QStringLiteral("--no-defaults"), QStringLiteral("-uroot"),
            QStringLiteral("--socket=") + socket, QStringLiteral("--batch"),
            QStringLiteral("--skip-column-names"), QStringLiteral("--default-character-set=utf8mb4"),
            QStringLiteral("--connect-timeout=10") };
        if (!db.isEmpty())
            args << QStringLiteral("--database=") + db;
        args << QStringLiteral("--execute=") + statements;
        QProcess client;
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start(QStringLiteral("mariadb"), args);
        const bool ok = client.waitForFinished(60000) && client.exitStatus() == QProcess::NormalExit
            && client.exitCode() == 0;
        *output = QString::fromUtf8(client.readAll());
        return ok;
    }

    orvy::ui::FormSettings settings(quint16 port)
    {
        orvy::ui::FormSettings s;
        s.db.host = QStringLiteral("127.0.0.1");
        s.db.port = port;
        s.db.database = database;
        s.db.user = database;
        s.db.password = password;
        s.fetch.timeoutMs = 3000;
        s.fatalExit = [](int) { QFAIL("the fatal start-up path ran"); };
        s.openLink = [](const QString &) {};
        return s;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(orvy::ui::applyThemeOrReport(*qApp, QString::fromLatin1(orvy::ui::Theme::defaultName)));
        QImage banner(120, 40, QImage::Format_RGB32);
        banner.fill(Qt::darkCyan);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        banner.save(&buffer, "PNG");
        m_http.setRoute("/banner.png", HttpServer::Response::ok(png, "image/png"));

        // Started by root, the nodes run as the server package's account: their folder must
        // be open to it, and short enough for their sockets.
        m_dir = orvy::test::freshTestDir(QStringLiteral("scale-out"));
        const bool reachable = ::geteuid() != 0
            || QProcess::execute(QStringLiteral("runuser"),
                   { QStringLiteral("-u"), QStringLiteral("mysql"), QStringLiteral("--"),
                       QStringLiteral("test"), QStringLiteral("-x"), m_dir })
                == 0;
        if (m_dir.size() > maxDirLength || !reachable) {
            m_shortDir = std::make_unique<QTemporaryDir>();
            QVERIFY(m_shortDir->isValid());
            QFile::setPermissions(m_shortDir->path(),
                QFile::permissions(m_shortDir->path()) | QFile::ExeGroup | QFile::ExeOther
                    | QFile::ReadOther);
            m_dir = m_shortDir->path();
        }
    }

    void cleanup()
    {
        if (m_started) {
            QString output;
            QVERIFY2(runScript({ QStringLiteral("stop"), m_dir }, &output), qPrintable(output));
            m_started = false;
        }
    }

    void nodeLostBetweenChoices_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<int>("signal");
        QTest::newRow("replicas, node killed") << QStringLiteral("replicas") << int(SIGKILL);
        QTest::newRow("replicas, node frozen") << QStringLiteral("replicas") << int(SIGSTOP);
        QTest::newRow("galera, node killed") << QStringLiteral("galera") << int(SIGKILL);
        QTest::newRow("galera, node frozen") << QStringLiteral("galera") << int(SIGSTOP);
        // 0: no signal; the node stays up but answers every statement with 1047, as a node
        // does while it joins or has lost its cluster.
        QTest::newRow("galera, node refuses statements (1047)") << QStringLiteral("galera") << 0;
    }
    void nodeLostBetweenChoices()
    {
        QFETCH(QString, set);
        QFETCH(int, signal);

        // The set, with the catalogue written once and copied to every node.
        QString output;
        QVERIFY2(runScript({ QStringLiteral("start"), set, m_dir, QStringLiteral("--owner"),
                               QString::number(QCoreApplication::applicationPid()) },
                     &output),
            qPrintable(output));
        m_started = true;
        const QHash<QString, QString> env = orvy::test::readEnvFile(m_dir + u'/' + set + QStringLiteral(".env"));
        const QString primary = env.value(QStringLiteral("primary_socket"));
        QFile schema(QStringLiteral(ORVY_SOURCE_DIR "/db/schema.sql"));
        QVERIFY(schema.open(QIODevice::ReadOnly));
        QVERIFY2(sql(primary,
                     QStringLiteral("CREATE DATABASE %1 CHARACTER SET utf8mb4;"
                                    "CREATE USER '%1'@'127.0.0.1' IDENTIFIED BY '%2';"
                                    "GRANT SELECT ON %1.* TO '%1'@'127.0.0.1';")
                         .arg(database, password),
                     QString(), &output),
            qPrintable(output));
        QVERIFY2(sql(primary,
                     QString::fromUtf8(schema.readAll())
                         + QString(seedSql()).replace(QStringLiteral("@BANNER@"),
                             orvy::test::MariaDbServer::quoted(m_http.url(QStringLiteral("/banner.png")))),
                     database, &output),
            qPrintable(output));
        QVERIFY2(runScript({ QStringLiteral("wait"), set, m_dir }, &output), qPrintable(output));

        // The window, through the proxy, as a learner's program.
        MessageBoxCatcher boxes;
        TForm1 form(settings(quint16(env.value(QStringLiteral("proxy_port")).toUInt())));
        QVERIFY(!form.startupFailed());
        form.resize(TForm1::designWidth, TForm1::designHeight);
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QCOMPARE(form.AdvComboBox1->count(), courses.size());
        orvy::test::chooseFirstCourse(form);
        QCOMPARE(itemTexts(form.ListBox1), courses.at(0).lessons);

        // The node this window is on, found through its own connection.
        const auto onPort = [&form] {
            const orvy::data::ResultSet result = form.AdoCon().execute(QStringLiteral("SELECT @@port"));
            return result.rows.at(0).at(0).value_or(QString());
        };
        const QString port = onPort();
        const QStringList ports = env.value(QStringLiteral("node_ports")).split(u' ');
        const QStringList pids = env.value(QStringLiteral("node_pids")).split(u' ');
        const qsizetype node = ports.indexOf(port);
        QVERIFY2(
            node >= 0, qPrintable(QStringLiteral("on port %1, nodes on %2").arg(port, ports.join(u' '))));
        const pid_t pid = pid_t(pids.value(node).toLongLong());
        QVERIFY(pid > 0);
        const QString socket = env.value(QStringLiteral("node_sockets")).split(u' ').value(node);
        if (signal == 0)
            QVERIFY2(sql(socket, QStringLiteral("SET GLOBAL wsrep_reject_queries = ALL"), QString(), &output),
                qPrintable(output));
        else
            QCOMPARE(::kill(pid, signal), 0);

        // The next course: its lessons come from another node, silently.
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(form.AdvComboBox1, Qt::Key_Down);
        const qint64 choiceMs = timer.elapsed();
        if (signal == SIGSTOP)
            ::kill(pid, SIGCONT); // so that it can be stopped cleanly; the window is elsewhere by now
        if (signal == 0)
            sql(socket, QStringLiteral("SET GLOBAL wsrep_reject_queries = NONE"), QString(), &output);
        QCOMPARE(boxes.texts(), QStringList());
        QCOMPARE(form.Label3->text(), courses.at(1).name);
        QCOMPARE(itemTexts(form.ListBox1), courses.at(1).lessons);
        QVERIFY(onPort() != port);
        qInfo("%s: node on port %s lost; the next choice took %lld ms", qPrintable(set), qPrintable(port),
            choiceMs);
    }
};

QTEST_MAIN(TestScaleOut)
#include "tst_scaleout.moc"
