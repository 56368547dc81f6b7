// The window against the scale-out sets of scripts/scale-out.sh: HAProxy in front of a
// primary with two replicas, and in front of a three-node Galera cluster. The node the
// window is connected to dies or freezes between two course choices; the second choice
// must still list its lessons, with no message box.
#include "data/connection.h"
#include "envfile.h"
#include "formfixture.h"
#include "learner.h"
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
#include <QLocalSocket>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <memory>
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

// One node as HAProxy sees it (a line of its "show stat").
struct ProxyNode {
    QString status; // UP, DOWN, "DOWN 1/2" (coming up), "UP 1/2" (going down), ...
    qint64 sessionsTotal = 0; // sent to it since HAProxy started
    QString lastCheck; // the last check's outcome and how long it took
};

// The nodes of the proxy's "catalogue" section by name (node1, node2, node3); empty when
// the proxy does not answer.
QHash<QString, ProxyNode> proxyNodes(const QString &statsSocket)
{
    QLocalSocket socket;
    socket.connectToServer(statsSocket);
    if (!socket.waitForConnected(2000))
        return {};
    socket.write("show stat\n");
    QByteArray text;
    while (socket.waitForReadyRead(2000))
        text += socket.readAll();
    text += socket.readAll();
    QHash<QString, ProxyNode> nodes;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() > 17 && fields.at(0) == "catalogue" && fields.at(1).startsWith("node"))
            nodes.insert(QString::fromLatin1(fields.at(1)),
                { QString::fromLatin1(fields.at(17)), fields.at(7).toLongLong(),
                    QString::fromLatin1(fields.value(36) + ' ' + fields.value(38) + " ms") });
    }
    return nodes;
}

QString catalogueSql()
{
    QFile file(QStringLiteral(ORVY_SOURCE_DIR "/bench/load/catalogue.sql"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

double secondsBetween(orvy::bench::Clock::time_point from, orvy::bench::Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
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

    // Starts the set, writes the schema, `catalogue` and the learners' account once and
    // waits until every node has them; its SET.env in *env.
    void startSet(const QString &set, const QString &catalogue, QHash<QString, QString> *env)
    {
        QString output;
        QVERIFY2(runScript({ QStringLiteral("start"), set, m_dir, QStringLiteral("--owner"),
                               QString::number(QCoreApplication::applicationPid()) },
                     &output),
            qPrintable(output));
        m_started = true;
        *env = orvy::test::readEnvFile(m_dir + u'/' + set + QStringLiteral(".env"));
        const QString primary = env->value(QStringLiteral("primary_socket"));
        QFile schema(QStringLiteral(ORVY_SOURCE_DIR "/db/schema.sql"));
        QVERIFY(schema.open(QIODevice::ReadOnly));
        QVERIFY2(sql(primary,
                     QStringLiteral("CREATE DATABASE %1 CHARACTER SET utf8mb4;"
                                    "CREATE USER '%1'@'127.0.0.1' IDENTIFIED BY '%2';"
                                    "GRANT SELECT ON %1.* TO '%1'@'127.0.0.1';")
                         .arg(database, password),
                     QString(), &output),
            qPrintable(output));
        QVERIFY2(sql(primary, QString::fromUtf8(schema.readAll()) + catalogue, database, &output),
            qPrintable(output));
        QVERIFY2(runScript({ QStringLiteral("wait"), set, m_dir }, &output), qPrintable(output));
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

        QHash<QString, QString> env;
        startSet(set,
            QString(seedSql()).replace(QStringLiteral("@BANNER@"),
                orvy::test::MariaDbServer::quoted(m_http.url(QStringLiteral("/banner.png")))),
            &env);
        if (QTest::currentTestFailed())
            return;
        QString output;

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
        // Asked before the node is resumed: once back, the proxy may rightly send a later
        // reconnect to it again.
        const QString portAfter = onPort();
        if (signal == SIGSTOP)
            ::kill(pid, SIGCONT); // so that it can be stopped cleanly; the window is elsewhere by now
        if (signal == 0)
            sql(socket, QStringLiteral("SET GLOBAL wsrep_reject_queries = NONE"), QString(), &output);
        QCOMPARE(boxes.texts(), QStringList());
        QCOMPARE(form.Label3->text(), courses.at(1).name);
        QCOMPARE(itemTexts(form.ListBox1), courses.at(1).lessons);
        QVERIFY2(portAfter != port, qPrintable(QStringLiteral("still on port %1").arg(port)));
        qInfo("%s: node on port %s lost; the next choice took %lld ms", qPrintable(set), qPrintable(port),
            choiceMs);
    }

    // Learners keep arriving, starting and choosing courses through the proxy while one
    // Galera node is frozen for 20 s and then resumed (it is evicted and rejoins), or is
    // killed and started again (it rejoins through a state transfer). Every start and
    // every course choice must succeed: a learner moved to another node is fine, an error
    // is not. The proxy's check keeps learners off the node while it is out and while it
    // rejoins (a resumed node that still believes itself synced for a few seconds may get
    // some: the program moves them on its 1047), and the node takes learners again once
    // it is back.
    void learnersThroughNodeFault_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("galera, node frozen for 20 s") << int(SIGSTOP);
        QTest::newRow("galera, node killed and started again") << int(SIGKILL);
    }
    void learnersThroughNodeFault()
    {
        using namespace orvy::bench;
        using namespace std::chrono_literals;
        QFETCH(int, signal);
        // Sized for two shared cores: a few hundred learners over the fault, each choosing
        // four courses a few seconds apart, so that choices go on while the node is out.
        constexpr double arrivalsPerSecond = 5;
        constexpr auto faultAfter = 8s;
        constexpr auto frozenFor = 20s;
        constexpr auto restartAfter = 5s;
        constexpr auto arrivalsOnceBack = 15s; // while the returning node takes its share
        constexpr auto longestOut = 150s;
        constexpr int choices = 4;
        constexpr int thinkMs = 3000;

        const QString catalogue = catalogueSql();
        QVERIFY(!catalogue.isEmpty());
        QHash<QString, QString> env;
        startSet(QStringLiteral("galera"), catalogue, &env);
        if (QTest::currentTestFailed())
            return;
        const QString statsSocket = env.value(QStringLiteral("proxy_socket"));
        const QStringList pids = env.value(QStringLiteral("node_pids")).split(u' ');
        QCOMPARE(pids.size(), 3);

        orvy::data::DbSettings db; // the program's time-outs and reconnect rule
        db.host = QStringLiteral("127.0.0.1");
        db.port = env.value(QStringLiteral("proxy_port")).toUInt();
        db.database = database;
        db.user = database;
        db.password = password;

        // Each learner on a thread of its own, as each program is one thread with one
        // connection; they write only their own slot.
        const auto maxLearners
            = std::size_t(arrivalsPerSecond
                  * std::chrono::duration<double>(faultAfter + longestOut + arrivalsOnceBack).count())
            + 1;
        std::vector<VisitResult> results(maxLearners);
        OpenCount open;
        std::vector<std::unique_ptr<QThread>> learners;
        const Clock::time_point t0 = Clock::now();
        const auto arrive = [&] {
            const std::size_t index = learners.size();
            std::unique_ptr<QThread> thread(QThread::create([&, index] {
                Visit visit;
                visit.arrival = Clock::now();
                visit.choices = choices;
                visit.thinkMs = thinkMs;
                visit.seed = quint32(index) * 2654435761u;
                visit.deadline = visit.arrival + 10min;
                results[index] = runVisit(db, visit, open);
            }));
            thread->setStackSize(512 * 1024);
            thread->start();
            learners.push_back(std::move(thread));
        };

        // The fault, and the proxy's view of every node, until the node has been back
        // for a while. Nothing here may return early: the learners' threads use this frame.
        QString faulted; // the node's name in the proxy (node1 ...)
        pid_t pid = 0;
        Clock::time_point faultAt;
        Clock::time_point markedDownAt;
        Clock::time_point backAt; // its last change to UP
        bool recovered = false; // resumed, or started again
        qint64 sessionsWhenBack = 0;
        QStringList upSpells; // each time the proxy marked it up: when, and learners sent to it
        Clock::time_point noneUpSince; // every node marked down: the proxy turns learners away
        double longestNoneUpS = 0;
        QHash<QString, ProxyNode> last = proxyNodes(statsSocket);
        QStringList problems;
        QStringList transitions;
        for (;;) {
            const Clock::time_point now = Clock::now();
            while (double(learners.size()) < arrivalsPerSecond * secondsBetween(t0, now)
                && learners.size() < maxLearners)
                arrive();
            const QHash<QString, ProxyNode> nodes = proxyNodes(statsSocket);
            if (faulted.isEmpty() && now - t0 >= faultAfter) {
                // The node with the most learners sent to it so far.
                for (auto it = nodes.cbegin(); it != nodes.cend(); ++it)
                    if (faulted.isEmpty() || it->sessionsTotal > nodes.value(faulted).sessionsTotal)
                        faulted = it.key();
                const int node = faulted.mid(4).toInt();
                pid = pid_t(pids.value(node - 1).toLongLong());
                faultAt = Clock::now();
                if (pid <= 0 || ::kill(pid, signal) != 0) {
                    problems << QStringLiteral("could not signal node %1 (process %2)").arg(node).arg(pid);
                    break;
                }
            }
            if (!faulted.isEmpty() && !recovered) {
                if (signal == SIGSTOP && now - faultAt >= frozenFor) {
                    ::kill(pid, SIGCONT);
                    recovered = true;
                } else if (signal == SIGKILL && now - faultAt >= restartAfter) {
                    QString output;
                    if (!runScript(
                            { QStringLiteral("restart"), QStringLiteral("galera"), faulted.mid(4), m_dir },
                            &output)) {
                        problems << QStringLiteral("restart: ") + output;
                        break;
                    }
                    recovered = true;
                }
            }
            for (auto it = nodes.cbegin(); it != nodes.cend(); ++it) {
                if (it->status == last.value(it.key()).status)
                    continue;
                transitions << QStringLiteral("%1 s %2 %3 (%4)")
                                   .arg(secondsBetween(t0, now), 0, 'f', 1)
                                   .arg(it.key(), it->status, it->lastCheck);
                if (it.key() != faulted || faultAt == Clock::time_point())
                    continue;
                if (it->status.startsWith(QStringLiteral("DOWN")) && markedDownAt == Clock::time_point())
                    markedDownAt = now;
                if (it->status.startsWith(QStringLiteral("UP"))
                    && !last.value(it.key()).status.startsWith(QStringLiteral("UP"))) {
                    backAt = now;
                    sessionsWhenBack = it->sessionsTotal;
                } else if (it->status.startsWith(QStringLiteral("DOWN")) && backAt != Clock::time_point()) {
                    upSpells << QStringLiteral("%1 s, %2 learners")
                                    .arg(secondsBetween(faultAt, backAt), 0, 'f', 1)
                                    .arg(it->sessionsTotal - sessionsWhenBack);
                    backAt = {};
                }
            }
            if (!nodes.isEmpty()) {
                const bool anyUp = std::any_of(nodes.cbegin(), nodes.cend(),
                    [](const ProxyNode &n) { return n.status.startsWith(QStringLiteral("UP")); });
                if (!anyUp && noneUpSince == Clock::time_point())
                    noneUpSince = now;
                if (anyUp && noneUpSince != Clock::time_point()) {
                    longestNoneUpS = std::max(longestNoneUpS, secondsBetween(noneUpSince, now));
                    noneUpSince = {};
                }
                last = nodes;
            }
            if (recovered && backAt != Clock::time_point() && now - backAt >= arrivalsOnceBack)
                break;
            if (!faulted.isEmpty() && now - faultAt >= longestOut) {
                problems << QStringLiteral("%1 was not back in the proxy %2 s after the fault")
                                .arg(faulted)
                                .arg(secondsBetween(faultAt, now), 0, 'f', 0);
                break;
            }
            QThread::msleep(100);
        }
        const Clock::time_point arrivalsEnd = Clock::now();
        if (signal == SIGSTOP && !recovered && pid > 0)
            ::kill(pid, SIGCONT);
        for (auto &thread : learners)
            thread->wait();
        const qint64 sessionsSinceBack
            = proxyNodes(statsSocket).value(faulted).sessionsTotal - sessionsWhenBack;
        if (backAt != Clock::time_point())
            upSpells << QStringLiteral("%1 s, %2 learners")
                            .arg(secondsBetween(faultAt, backAt), 0, 'f', 1)
                            .arg(sessionsSinceBack);

        // Every failure, by when it happened, what failed and its error number.
        QMap<QString, std::pair<int, QString>> errors;
        int started = 0;
        std::size_t choicesMade = 0;
        for (std::size_t i = 0; i < learners.size(); ++i) {
            const VisitResult &r = results[i];
            started += r.started;
            choicesMade += r.choiceMs.size();
            if (r.started && !r.choiceFailed)
                continue;
            const QString phase = faultAt == Clock::time_point() || r.failedAt < faultAt
                ? QStringLiteral("before the fault")
                : backAt == Clock::time_point() || r.failedAt < backAt ? QStringLiteral("node out")
                                                                       : QStringLiteral("node back");
            const QString key
                = QStringLiteral("%1, %2, error %3")
                      .arg(phase, r.started ? QStringLiteral("course choice") : QStringLiteral("start"))
                      .arg(r.started ? r.choiceError : r.refusal);
            auto &entry = errors[key];
            if (entry.first++ == 0)
                entry.second = r.started ? r.choiceErrorText : r.refusalText;
        }
        QStringList errorLines;
        for (auto it = errors.cbegin(); it != errors.cend(); ++it)
            errorLines << QStringLiteral("%1: %2 (%3)").arg(it.key()).arg(it->first).arg(it->second);

        const auto since = [&](Clock::time_point at) {
            return at == Clock::time_point() ? QStringLiteral("never")
                                             : QString::number(secondsBetween(faultAt, at), 'f', 1) + u's';
        };
        qInfo("%s: %zu learners over %.0f s, %d started, %zu course choices, at most %d connections; "
              "%s marked down after %s, back up after %s; marked up after (fault to up, learners sent to it "
              "while up): %s",
            QTest::currentDataTag(), learners.size(), secondsBetween(t0, arrivalsEnd), started, choicesMade,
            open.peak.load(), qPrintable(faulted), qPrintable(since(markedDownAt)), qPrintable(since(backAt)),
            qPrintable(upSpells.join(QStringLiteral("; "))));
        qInfo("proxy: %s", qPrintable(transitions.join(QStringLiteral("; "))));
        qInfo("every node down at once: longest %.1f s", longestNoneUpS);
        for (const QString &line : std::as_const(errorLines))
            qInfo("error: %s", qPrintable(line));

        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
        QCOMPARE(errorLines, QStringList());
        QCOMPARE(started, int(learners.size()));
        QVERIFY(markedDownAt != Clock::time_point());
        // Back in the proxy, it took learners again.
        QVERIFY(sessionsSinceBack > 0);
    }
};

QTEST_MAIN(TestScaleOut)
#include "tst_scaleout.moc"
