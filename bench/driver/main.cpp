// Runs the program and its floors side by side, interleaved, and prints one table:
// each measure, the program, its floor, the ratio of the medians. bench/run.sh
// builds everything and runs this on an X server of its own with a window manager.
#include "delayproxy.h"
#include "httpserver.h"
#include "mariadbserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <random>
#include <signal.h>
#include <sys/prctl.h>

using orvy::bench::DelayProxy;
using orvy::test::HttpServer;
using orvy::test::MariaDbServer;

namespace {

qint64 monotonicNs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void say(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
}

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Proportional set size summed over a process and all its descendants, in MB:
// the program's share of memory, shared libraries counted once.
double pssMb(qint64 root)
{
    QMap<qint64, QList<qint64>> children;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &pid : pids) {
        bool numeric = false;
        pid.toLongLong(&numeric);
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (fields.size() > 1)
            children[fields[1].toLongLong()].append(pid.toLongLong());
    }
    double kb = 0;
    QList<qint64> todo { root };
    while (!todo.isEmpty()) {
        const qint64 pid = todo.takeLast();
        todo.append(children.value(pid));
        QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
        if (!rollup.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &l : rollup.readAll().split('\n')) {
            if (l.startsWith("Pss:"))
                kb += l.mid(4).trimmed().split(' ').first().toDouble();
        }
    }
    return kb / 1024.0;
}

// One process under measurement: started, read for probe lines, told commands.
class Subject {
public:
    Subject(const QString &program, const QStringList &args, const QProcessEnvironment &env)
    {
        m_process.setProcessEnvironment(env);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        QObject::connect(&m_process, &QProcess::readyReadStandardError, [this] {
            m_buffer += m_process.readAllStandardError();
            qsizetype end;
            while ((end = m_buffer.indexOf('\n')) >= 0) {
                const QByteArray line = m_buffer.left(end);
                m_buffer.remove(0, end + 1);
                if (line.startsWith("@bench "))
                    m_lines.append(line.mid(7));
            }
        });
        m_started = monotonicNs();
        const QStringList wrap = qEnvironmentVariable("BENCH_WRAP").split(u' ', Qt::SkipEmptyParts);
        if (!wrap.isEmpty() && program.contains(QStringLiteral("OrvyClass")))
            m_process.start(wrap.first(), wrap.mid(1) + QStringList { program } + args);
        else
            m_process.start(program, args);
    }
    ~Subject()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.write("quit\n");
            if (!m_process.waitForFinished(10000)) {
                m_process.kill();
                m_process.waitForFinished(5000);
            }
        }
    }

    qint64 pid() const { return m_process.processId(); }

    // The next probe line starting with `prefix`, waiting up to 60 s.
    std::optional<QList<QByteArray>> await(const QByteArray &prefix)
    {
        const QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired()) {
            for (qsizetype i = 0; i < m_lines.size(); ++i) {
                const QList<QByteArray> words = m_lines[i].split(' ');
                if (words.first() == "fail") {
                    say(QStringLiteral("  probe: %1").arg(QString::fromUtf8(m_lines[i])));
                    m_lines.removeAt(i);
                    return std::nullopt;
                }
                if (m_lines[i].startsWith(prefix)) {
                    m_lines.removeAt(i);
                    return words;
                }
            }
            if (m_process.state() == QProcess::NotRunning) {
                say(QStringLiteral("  the program ended (exit code %1)").arg(m_process.exitCode()));
                return std::nullopt;
            }
            QEventLoop loop;
            QObject::connect(&m_process, &QProcess::readyReadStandardError, &loop, &QEventLoop::quit);
            QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
            QTimer::singleShot(100, &loop, &QEventLoop::quit);
            loop.exec();
        }
        say(QStringLiteral("  no \"%1\" within 60 s").arg(QString::fromUtf8(prefix)));
        return std::nullopt;
    }

    // Milliseconds from the start of the process to its window's first paint.
    std::optional<double> startup()
    {
        const auto words = await("painted");
        if (!words)
            return std::nullopt;
        m_surface = QString::fromLatin1(words->value(2));
        if (words->size() > 3)
            m_cpuMs = double(words->at(3).toLongLong()) / 1e6;
        return double(words->at(1).toLongLong() - m_started) / 1e6;
    }

    // Processor time the process had used by its first paint (an earlier build's probe
    // may not tell).
    std::optional<double> startupCpu() const { return m_cpuMs; }

    // The kind of the window's native surface ("raster", "opengl"), once painted.
    QString surface() const { return m_surface; }

    // Runs a probe command; milliseconds from its start to the end it waits for.
    std::optional<double> timed(const QByteArray &command)
    {
        m_process.write(command + '\n');
        const auto words = await("done " + command.split(' ').first());
        if (!words)
            return std::nullopt;
        return double(words->at(3).toLongLong() - words->at(2).toLongLong()) / 1e6;
    }

    void send(const QByteArray &command) { m_process.write(command + '\n'); }

private:
    QProcess m_process;
    QByteArray m_buffer;
    QList<QByteArray> m_lines;
    qint64 m_started = 0;
    QString m_surface;
    std::optional<double> m_cpuMs;
};

using Samples = QMap<QString, QList<double>>;

struct Stats {
    double min = 0, median = 0, max = 0;
    bool valid = false;
};

Stats stats(QList<double> values)
{
    Stats s;
    if (values.isEmpty())
        return s;
    std::sort(values.begin(), values.end());
    s.valid = true;
    s.min = values.first();
    s.max = values.last();
    const qsizetype n = values.size();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return s;
}

QString show(const Stats &s, const QString &unit)
{
    if (!s.valid)
        return QStringLiteral("n/a");
    const auto num = [](double v) { return QString::number(v, 'f', v < 10 ? 1 : 0); };
    if (s.min == s.max)
        return num(s.median) + unit;
    return QStringLiteral("%1%2 (%3–%4)").arg(num(s.median), unit, num(s.min), num(s.max));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption binOption(
        QStringLiteral("bin"), QStringLiteral("Folder of the built programs."), QStringLiteral("dir"));
    const QCommandLineOption sourceOption(
        QStringLiteral("source"), QStringLiteral("The source tree."), QStringLiteral("dir"));
    const QCommandLineOption mediaOption(
        QStringLiteral("media"), QStringLiteral("Banner and lesson videos."), QStringLiteral("dir"));
    const QCommandLineOption dbPortOption(QStringLiteral("db-port"),
        QStringLiteral("The database port built into the program."), QStringLiteral("port"));
    const QCommandLineOption dbNameOption(
        QStringLiteral("db-name"), QStringLiteral("Database name and user."), QStringLiteral("name"));
    const QCommandLineOption dbPasswordOption(
        QStringLiteral("db-password"), QStringLiteral("Database password."), QStringLiteral("password"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Interleaved runs (10)."),
        QStringLiteral("n"), QStringLiteral("10"));
    const QCommandLineOption playsOption(QStringLiteral("plays"),
        QStringLiteral("Plays before the last memory reading (20)."), QStringLiteral("n"),
        QStringLiteral("20"));
    const QCommandLineOption baselineOption(QStringLiteral("baseline"),
        QStringLiteral("Folder of an earlier build's programs, measured in the same runs."),
        QStringLiteral("dir"));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
        QStringLiteral("Seed of the run order (default: the clock; the table names it)."),
        QStringLiteral("n"));
    const QCommandLineOption noPlaysOption(
        QStringLiteral("no-plays"), QStringLiteral("Measure start-up, lists and drop-downs only."));
    const QCommandLineOption stepsOption(QStringLiteral("steps"),
        QStringLiteral("Run only the steps whose name matches this pattern (all)."),
        QStringLiteral("regexp"));
    const QCommandLineOption tmpOption(
        QStringLiteral("tmp"), QStringLiteral("Folder for profiles."), QStringLiteral("dir"));
    for (const auto &o : { binOption, sourceOption, mediaOption, dbPortOption, dbNameOption, dbPasswordOption,
             runsOption, playsOption, tmpOption, baselineOption, seedOption, noPlaysOption, stepsOption })
        parser.addOption(o);
    parser.process(app);
    const QString bin = parser.value(binOption);
    const QString source = parser.value(sourceOption);
    const QString media = parser.value(mediaOption);
    const QString dbName = parser.value(dbNameOption);
    const QString dbPassword = parser.value(dbPasswordOption);
    const quint16 dbPort = quint16(parser.value(dbPortOption).toUInt());
    const int runs = std::max(1, parser.value(runsOption).toInt());
    const int plays = std::max(2, parser.value(playsOption).toInt());
    const bool withPlays = !parser.isSet(noPlaysOption);
    const QString tmp = parser.value(tmpOption);
    const QString baseline = parser.value(baselineOption);
    const quint32 seed
        = parser.isSet(seedOption) ? parser.value(seedOption).toUInt() : quint32(std::time(nullptr));

    // Servers: the content over HTTP, two catalogues (a few courses; 10,000 courses
    // and a course of 10,000 lessons), and the relays in front of them.
    HttpServer http;
    for (const char *name : { "banner.png", "lesson1.mp4", "lesson2.mp4", "lesson3.mp4" }) {
        const QString path = media + u'/' + QString::fromLatin1(name);
        http.setRoute(QByteArray("/") + name,
            HttpServer::Response::file(
                path, QByteArray(name).endsWith(".png") ? QByteArray("image/png") : QByteArray("video/mp4")));
    }
    DelayProxy httpProxy;
    DelayProxy dbProxy;
    if (!httpProxy.listen(0, http.port()) || !dbProxy.listen(dbPort, 0)) {
        say(QStringLiteral("cannot listen on the relay ports"));
        return 1;
    }
    const QString httpBase = QStringLiteral("http://127.0.0.1:%1").arg(httpProxy.port());

    QFile schemaFile(source + QStringLiteral("/db/schema.sql"));
    QFile seedFile(source + QStringLiteral("/demo/seed.sql"));
    if (!schemaFile.open(QIODevice::ReadOnly) || !seedFile.open(QIODevice::ReadOnly)) {
        say(QStringLiteral("cannot read db/schema.sql or demo/seed.sql"));
        return 1;
    }
    const QString schema = QString::fromUtf8(schemaFile.readAll());
    const QString seedSql = QString::fromUtf8(seedFile.readAll()).replace(QStringLiteral("@HTTP@"), httpBase)
        // The course the plays are timed in: a lesson without a video between two timed
        // plays makes sure that the picture seen is the new lesson's.
        + QStringLiteral("INSERT INTO courses (cID, cName, ctID) VALUES (8, 'bench', 1);"
                         "INSERT INTO lessons (LName, LLink, cID, active, LSORT) VALUES"
                         " ('none', '', 8, 1, 1), ('one', '%1/lesson1.mp4', 8, 1, 2),"
                         " ('two', '%1/lesson2.mp4', 8, 1, 3);")
              .arg(httpBase);
    const QString bigRows = QStringLiteral(
        "INSERT INTO courses (cID, cName, ctID) VALUES (6, 'کورسی گەورە', 1), (7, 'کورسی بچووک', 1);"
        "INSERT INTO courses (cID, cName, ctID) SELECT 100 + seq, CONCAT('کورسی ژمارە ', seq), 1 + seq % 3"
        " FROM seq_1_to_9992;"
        "INSERT INTO lessons (LName, LLink, cID, active, LSORT) SELECT CONCAT('وانە-', seq),"
        " '%1/lesson1.mp4', 6, 1, seq FROM seq_1_to_10000;"
        "INSERT INTO lessons (LName, LLink, cID, active, LSORT) SELECT CONCAT('وانە-', seq),"
        " '%1/lesson1.mp4', 7, 1, seq FROM seq_1_to_10;")
                                .arg(httpBase);
    MariaDbServer small(QStringLiteral("bench-small"));
    MariaDbServer big(QStringLiteral("bench-big"));
    for (auto [server, extra] : { std::pair { &small, QString() }, std::pair { &big, bigRows } }) {
        if (!server->start() || !server->createDatabase(dbName, dbName, dbPassword)
            || !server->runSql(schema + seedSql + extra, dbName)) {
            say(QStringLiteral("database server: %1").arg(server->errorString()));
            return 1;
        }
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Root cannot run the browser's sandbox, and Xvfb has no GPU.
    env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    if (!env.contains(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS")))
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--disable-gpu"));
    const QString xdg = tmp + QStringLiteral("/xdg");
    env.insert(QStringLiteral("XDG_DATA_HOME"), xdg + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), xdg + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), xdg + QStringLiteral("/config"));

    const QString program = bin + QStringLiteral("/OrvyClassBench");
    const QString caption = bin + QStringLiteral("/bench_floor");
    const QString captionFetch = bin + QStringLiteral("/bench_floor_fetch");
    const QString listFloor = bin + QStringLiteral("/bench_floor_list");
    const QString view = bin + QStringLiteral("/bench_floor_view");
    const QString lateview = bin + QStringLiteral("/bench_floor_lateview");
    const QStringList listArgs { QStringLiteral("list"), QStringLiteral("127.0.0.1"), QString::number(dbPort),
        dbName, dbName, dbPassword };
    const auto lessonUrl
        = [&](int n) { return (httpBase + QStringLiteral("/lesson%1.mp4").arg(n)).toUtf8(); };

    Samples samples;
    QMap<QString, QString> surfaces; // the program's window surface, per build
    const auto put = [&](const QString &key, std::optional<double> value) {
        if (value)
            samples[key].append(*value);
    };
    const auto fresh = [&] {
        // Each start finds no profile or cache of an earlier one.
        QDir(xdg).removeRecursively();
    };
    const auto settledMemory = [&](Subject &s) {
        spin(1000);
        return pssMb(s.pid());
    };
    const auto atDelay = [&](int ms) {
        dbProxy.setOneWayDelayMs(ms);
        httpProxy.setOneWayDelayMs(ms);
    };

    // One step of a run: one process started afresh, measured, ended.
    struct Step {
        QString name;
        std::function<void()> run;
    };
    QList<Step> startSteps; // start-up, lists and drop-downs: shuffled in every run
    QList<Step> playSteps; // plays: after those, so no start follows a program that played

    // The program, and an earlier build of it when given.
    QList<std::pair<QString, QString>> builds { { program, QString() } };
    if (!baseline.isEmpty())
        builds.append({ baseline + QStringLiteral("/OrvyClassBench"), QStringLiteral("before.") });
    for (const auto &[exe, p] : builds) {
        startSteps.append({ p + QStringLiteral("program"), [&, exe, p] {
                               // A few courses: start-up, its traffic, memory, a choice, a drop-down.
                               dbProxy.setUpstream(small.port());
                               dbProxy.resetCounts();
                               httpProxy.resetCounts();
                               fresh();
                               Subject s(exe, {}, env);
                               put(p + QStringLiteral("startup"), s.startup());
                               put(p + QStringLiteral("startup.cpu"), s.startupCpu());
                               surfaces[p] = s.surface();
                               put(p + QStringLiteral("db.trips"), dbProxy.roundTrips());
                               put(p + QStringLiteral("db.conns"), dbProxy.connections());
                               put(p + QStringLiteral("http.trips"), httpProxy.roundTrips());
                               put(p + QStringLiteral("http.conns"), httpProxy.connections());
                               put(p + QStringLiteral("mem.idle"), settledMemory(s));
                               put(p + QStringLiteral("choice"), s.timed("choose AdvComboBox1 0 ListBox1"));
                               spin(300);
                               put(p + QStringLiteral("popup.small"), s.timed("popup AdvComboBox1"));
                           } });
        startSteps.append(
            { p + QStringLiteral("program, 10,000"), [&, exe, p] {
                 dbProxy.setUpstream(big.port());
                 fresh();
                 Subject s(exe, {}, env);
                 put(p + QStringLiteral("big.startup"), s.startup());
                 spin(1000);
                 put(p + QStringLiteral("big.choice10"), s.timed("choose AdvComboBox1 7 ListBox1"));
                 put(p + QStringLiteral("big.choice"), s.timed("choose AdvComboBox1 6 ListBox1"));
                 put(p + QStringLiteral("big.scroll"), s.timed("scroll ListBox1"));
                 put(p + QStringLiteral("big.type"), s.timed("type ListBox1 وانە-9999"));
                 spin(300);
                 put(p + QStringLiteral("big.popup"), s.timed("popup AdvComboBox1"));
             } });
        for (const int delay : { 10, 25 }) {
            startSteps.append({ p + QStringLiteral("program, %1 ms").arg(delay), [&, exe, p, delay] {
                                   dbProxy.setUpstream(small.port());
                                   atDelay(delay);
                                   fresh();
                                   Subject s(exe, {}, env);
                                   put(p + QStringLiteral("startup.d%1").arg(delay), s.startup());
                                   atDelay(0);
                               } });
        }
        playSteps.append({ p + QStringLiteral("program, plays"), [&, exe, p] {
                              dbProxy.setUpstream(small.port());
                              fresh();
                              Subject s(exe, {}, env);
                              s.startup();
                              spin(300);
                              // The bench course: a lesson without a video, then two with one.
                              s.timed("choose AdvComboBox1 5 ListBox1");
                              put(p + QStringLiteral("play1"), s.timed("play ListBox1 1"));
                              put(p + QStringLiteral("mem.play1"), settledMemory(s));
                              for (int i = 2; i <= plays; ++i) {
                                  s.timed("play ListBox1 0 blank");
                                  const auto t = s.timed("play ListBox1 " + QByteArray::number(2 - i % 2));
                                  if (i == 2)
                                      put(p + QStringLiteral("play2"), t);
                              }
                              put(p + QStringLiteral("mem.plays"), settledMemory(s));
                          } });
    }

    const struct {
        const char *key;
        const QString &exe;
        QStringList args;
    } captionFloors[] = {
        { "f.caption", caption, {} },
        { "f.caption.gl", caption, { QStringLiteral("gl") } },
        { "f.caption.fetch", captionFetch, {} },
    };
    for (const auto &f : captionFloors) {
        const QString key = QString::fromLatin1(f.key);
        startSteps.append({ key, [&, key, exe = f.exe, args = f.args] {
                               Subject s(exe, args, env);
                               put(key + QStringLiteral(".startup"), s.startup());
                               put(key + QStringLiteral(".cpu"), s.startupCpu());
                               put(key + QStringLiteral(".mem"), settledMemory(s));
                           } });
    }
    startSteps.append({ QStringLiteral("f.list"), [&] {
                           dbProxy.setUpstream(small.port());
                           Subject s(listFloor, listArgs, env);
                           s.startup();
                           spin(1000);
                           put(QStringLiteral("f.list.lessons3"), s.timed("lessons 1"));
                       } });
    startSteps.append({ QStringLiteral("f.list, 10,000"), [&] {
                           dbProxy.setUpstream(big.port());
                           Subject s(listFloor, listArgs, env);
                           s.startup();
                           spin(1000);
                           put(QStringLiteral("f.list.lessons10"), s.timed("lessons 7"));
                           put(QStringLiteral("f.list.lessons10000"), s.timed("lessons 6"));
                           put(QStringLiteral("f.list.scroll"), s.timed("scroll floorList"));
                           put(QStringLiteral("f.list.type"), s.timed("type floorList وانە-9999"));
                       } });
    for (const int n : { 5, 10000 }) {
        startSteps.append({ QStringLiteral("f.combo%1").arg(n), [&, n] {
                               Subject s(caption, { QStringLiteral("combo"), QString::number(n) }, env);
                               s.startup();
                               spin(300);
                               put(QStringLiteral("f.combo%1.popup").arg(n), s.timed("popup floorCombo"));
                           } });
    }
    playSteps.append({ QStringLiteral("f.view"), [&] {
                          fresh();
                          Subject s(view, {}, env);
                          s.startup();
                          put(QStringLiteral("f.view.play1"), s.timed("play " + lessonUrl(1)));
                          put(QStringLiteral("f.view.mem.play1"), settledMemory(s));
                          for (int i = 2; i <= plays; ++i) {
                              s.timed("play - blank");
                              const auto t = s.timed("play " + lessonUrl(2 - i % 2));
                              if (i == 2)
                                  put(QStringLiteral("f.view.play2"), t);
                          }
                          put(QStringLiteral("f.view.mem.plays"), settledMemory(s));
                      } });
    playSteps.append({ QStringLiteral("f.late"), [&] {
                          fresh();
                          Subject s(lateview, {}, env);
                          s.startup();
                          spin(300);
                          put(QStringLiteral("f.late.play1"), s.timed("play " + lessonUrl(1)));
                          put(QStringLiteral("f.late.mem.play1"), settledMemory(s));
                          s.timed("play - blank");
                          put(QStringLiteral("f.late.play2"), s.timed("play " + lessonUrl(2)));
                      } });
    if (!withPlays)
        playSteps.clear();
    if (parser.isSet(stepsOption)) {
        const QRegularExpression wanted(parser.value(stepsOption));
        const auto unwanted = [&](const Step &step) { return !wanted.match(step.name).hasMatch(); };
        startSteps.removeIf(unwanted);
        playSteps.removeIf(unwanted);
    }

    std::mt19937 order(seed);
    for (int run = 1; run <= runs; ++run) {
        say(QStringLiteral("run %1 of %2").arg(run).arg(runs));
        atDelay(0);
        // Whatever ran before (the last run's plays, another build) has settled, and one
        // start that is not measured gives the first measured one the same seat as the rest.
        spin(2000);
        {
            Subject s(caption, {}, env);
            s.startup();
        }
        std::shuffle(startSteps.begin(), startSteps.end(), order);
        std::shuffle(playSteps.begin(), playSteps.end(), order);
        for (const Step &step : std::as_const(startSteps)) {
            say(QStringLiteral("  %1").arg(step.name));
            step.run();
        }
        for (const Step &step : std::as_const(playSteps)) {
            say(QStringLiteral("  %1").arg(step.name));
            step.run();
            spin(1000);
        }
    }

    // The least the described start-up needs: the database's greeting and login,
    // Q1, Q2, Q2, Q4; one banner GET; one connection each. The relay holds each piece of
    // data for its delay but not the TCP set-up, so the least it adds at a one-way delay
    // d is 2d per round trip less d for the greeting, which travels one way: 13d.
    const int describedDbTrips = 6;
    const int describedHttpTrips = 1;
    const int leastOneWayDelays = 2 * (describedDbTrips + describedHttpTrips) - 1;
    samples[QStringLiteral("described.trips")] = { double(describedDbTrips + describedHttpTrips) };
    samples[QStringLiteral("described.db")] = { double(describedDbTrips) };
    samples[QStringLiteral("described.http")] = { double(describedHttpTrips) };
    samples[QStringLiteral("described.conns")] = { 2 };
    const auto derive = [&](const QString &to, const QString &a, const QString &b, auto op) {
        const auto x = samples.value(a);
        const auto y = samples.value(b);
        QList<double> out;
        for (qsizetype i = 0; i < std::min(x.size(), y.size()); ++i)
            out.append(op(x[i], y[i]));
        samples[to] = out;
    };
    for (const auto &[exe, p] : builds) {
        derive(p + QStringLiteral("trips"), p + QStringLiteral("db.trips"), p + QStringLiteral("http.trips"),
            [](double a, double b) { return a + b; });
        derive(p + QStringLiteral("conns"), p + QStringLiteral("db.conns"), p + QStringLiteral("http.conns"),
            [](double a, double b) { return a + b; });
        for (const int delay : { 10, 25 }) {
            QList<double> least;
            for (const double t : samples.value(p + QStringLiteral("startup")))
                least.append(t + leastOneWayDelays * delay);
            samples[p + QStringLiteral("least.d%1").arg(delay)] = least;
        }
        // The caption window with the program's kind of surface is the program's floor.
        const bool openGl = surfaces.value(p) == u"opengl";
        const QString floor = openGl ? QStringLiteral("f.caption.gl") : QStringLiteral("f.caption");
        samples[p + QStringLiteral("f.startup")] = samples.value(floor + QStringLiteral(".startup"));
        samples[p + QStringLiteral("f.cpu")] = samples.value(floor + QStringLiteral(".cpu"));
    }

    struct Row {
        const char *measure;
        const char *program;
        const char *floorName;
        const char *floor;
        const char *unit;
    };
    const Row rows[] = {
        { "start-up to the window painted, lists filled", "startup",
            "caption window (same surface as the program)", "f.startup", " ms" },
        { "processor time to the window painted", "startup.cpu",
            "caption window (same surface as the program)", "f.cpu", " ms" },
        { "start-up to the window painted, lists filled", "startup",
            "caption window linked with the banner fetch", "f.caption.fetch.startup", " ms" },
        { "caption window linked with the banner fetch (its libraries at exec)", "f.caption.fetch.startup",
            "caption window", "f.caption.startup", " ms" },
        { "processor time, caption window linked with the banner fetch", "f.caption.fetch.cpu",
            "caption window", "f.caption.cpu", " ms" },
        { "caption window with an OpenGL surface", "f.caption.gl.startup", "caption window",
            "f.caption.startup", " ms" },
        { "processor time, caption window with an OpenGL surface", "f.caption.gl.cpu", "caption window",
            "f.caption.cpu", " ms" },
        { "round trips at start-up, database + HTTP", "trips",
            "described: greeting, login, Q1, Q2, Q2, Q4, one GET", "described.trips", "" },
        { "database round trips at start-up", "db.trips", "greeting, login, Q1, Q2, Q2, Q4", "described.db",
            "" },
        { "HTTP round trips at start-up", "http.trips", "one banner GET", "described.http", "" },
        { "TCP connections at start-up", "conns", "one database, one HTTP", "described.conns", "" },
        { "start-up, 10 ms one way", "startup.d10", "the same at 0 ms + 13 × 10 ms", "least.d10", " ms" },
        { "start-up, 25 ms one way", "startup.d25", "the same at 0 ms + 13 × 25 ms", "least.d25", " ms" },
        { "course choice to 3 lessons painted", "choice", "lesson query, plain list of 3", "f.list.lessons3",
            " ms" },
        { "course choice to 10,000 lessons painted", "big.choice", "lesson query, plain list of 10,000",
            "f.list.lessons10000", " ms" },
        { "course choice to 10,000 lessons painted", "big.choice", "the program, 10 lessons", "big.choice10",
            " ms" },
        { "drop-down of 5 courses opened", "popup.small", "plain drop-down of 5, list below the field",
            "f.combo5.popup", " ms" },
        { "drop-down of 10,000 courses opened", "big.popup",
            "plain drop-down of 10,000, list below the field", "f.combo10000.popup", " ms" },
        { "10,000-row lesson list scrolled to its end", "big.scroll", "plain list, 10,000 rows",
            "f.list.scroll", " ms" },
        { "type-ahead in 10,000-row lesson list", "big.type", "plain list, 10,000 rows", "f.list.type",
            " ms" },
        { "start-up, 10,000 courses", "big.startup", "the program with 5 courses", "startup", " ms" },
        { "memory idle (PSS, all processes)", "mem.idle", "caption window", "f.caption.mem", " MB" },
        { "first play to the first video frame", "play1", "bare QWebEngineView", "f.view.play1", " ms" },
        { "first play to the first video frame", "play1", "bare window, engine from a plug-in at play",
            "f.late.play1", " ms" },
        { "second play to the first video frame", "play2", "bare QWebEngineView", "f.view.play2", " ms" },
        { "second play to the first video frame", "play2", "bare window, engine from a plug-in at play",
            "f.late.play2", " ms" },
        { "memory after the first play", "mem.play1", "bare QWebEngineView", "f.view.mem.play1", " MB" },
        { "memory after the first play", "mem.play1", "bare window, engine from a plug-in at play",
            "f.late.mem.play1", " MB" },
        { "memory after the last play", "mem.plays", "bare QWebEngineView", "f.view.mem.plays", " MB" },
    };

    QTextStream out(stdout);
    // A floor that is another measure of the program itself is that build's own.
    const auto key = [](const QString &p, const char *name) {
        const QString k = QString::fromLatin1(name);
        return (k.startsWith(u"f.") && k != u"f.startup" && k != u"f.cpu") || k.startsWith(u"described.")
            ? k
            : p + k;
    };
    for (const auto &[exe, prefix] : builds) {
        out << "\n"
            << (prefix.isEmpty() ? "this build" : "the earlier build (--baseline)")
            << ": median (min–max) of " << runs << " interleaved runs";
        if (withPlays)
            out << ", " << plays << " plays";
        out << ", order seed " << seed << ", window surface "
            << surfaces.value(prefix, QStringLiteral("not told")) << "\n\n";
        out << "| measure | program | floor | floor value | ratio | ratio of minima |\n"
               "|---|---|---|---|---|---|\n";
        for (const Row &row : rows) {
            const Stats p = stats(samples.value(key(prefix, row.program)));
            const Stats f = stats(samples.value(key(prefix, row.floor)));
            if (!p.valid && !f.valid)
                continue;
            const QString unit = QString::fromLatin1(row.unit);
            const QString ratio = p.valid && f.valid && f.median > 0
                ? QStringLiteral("%1×").arg(p.median / f.median, 0, 'f', 2)
                : QStringLiteral("n/a");
            const QString minRatio = p.valid && f.valid && f.min > 0
                ? QStringLiteral("%1×").arg(p.min / f.min, 0, 'f', 2)
                : QStringLiteral("n/a");
            out << "| " << QString::fromUtf8(row.measure) << " | " << show(p, unit) << " | "
                << QString::fromUtf8(row.floorName) << " | " << show(f, unit) << " | " << ratio << " | "
                << minRatio << " |\n";
        }
    }
    out.flush();
    return 0;
}
