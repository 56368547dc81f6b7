// orvy_load: many learners starting the program and choosing courses against one
// catalogue, through the program's own data layer, so the server sees what the program
// sends. Each learner is a thread with its own connection, as each program is one
// user-interface thread with one connection. bench/load/run.sh sets up the servers and
// runs the scenarios; see bench/README.md.
#include "learner.h"
#include "procstat.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QMap>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <latch>
#include <memory>
#include <random>
#include <thread>

using namespace orvy::bench;

namespace {

constexpr int maxLearners = 5000; // threads in one process; more would measure this tool
constexpr int maxLimitSeconds = 1800;
// Each learner's thread: the client library and a few Qt strings need far less.
constexpr uint learnerStackBytes = 512 * 1024;
// Past the time limit a learner can still be inside one connect (10 s, three attempts
// with 3 s pauses) or one statement (60 s): wait that long, then give up on it.
constexpr int drainSeconds = 120;

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "orvy_load: %s\n", qPrintable(message));
    std::exit(2);
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const auto rank = std::size_t(std::ceil(p * double(values.size())));
    return values.at(std::clamp<std::size_t>(rank, 1, values.size()) - 1);
}

QString ms(double value)
{
    if (std::isnan(value))
        return QStringLiteral("–");
    return value < 10 ? QString::number(value, 'f', 1) + QStringLiteral(" ms")
                      : QString::number(qRound(value)) + QStringLiteral(" ms");
}

// Only this machine: the tool must never load a server elsewhere.
bool isLoopback(const QString &host)
{
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

int intOption(const QCommandLineParser &parser, const QString &name, int low, int high)
{
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < low || value > high)
        fail(QStringLiteral("--%1 must be a whole number from %2 to %3").arg(name).arg(low).arg(high));
    return value;
}

const char *tableHeader
    = "| run | learners | arrived within | started | refused | start-ups/s | start median | "
      "start p99 | choice median | choice p99 | server CPU per learner | "
      "server memory per connection |\n"
      "|---|---|---|---|---|---|---|---|---|---|---|---|\n";

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Many learners against one course database on this machine, sending what the program sends."));
    parser.addHelpOption();
    parser.addOptions({
        { QStringLiteral("host"), QStringLiteral("Server or proxy address (loopback only)."),
            QStringLiteral("address"), QStringLiteral("127.0.0.1") },
        { QStringLiteral("port"), QStringLiteral("Its port."), QStringLiteral("port") },
        { QStringLiteral("database"), QStringLiteral("Course database; also the user name."),
            QStringLiteral("name") },
        { QStringLiteral("password"), QStringLiteral("The account's password."), QStringLiteral("text") },
        { QStringLiteral("learners"), QStringLiteral("How many learners (1 to 5000)."), QStringLiteral("n"),
            QStringLiteral("100") },
        { QStringLiteral("over"), QStringLiteral("Seconds over which they arrive, at random."),
            QStringLiteral("s"), QStringLiteral("3") },
        { QStringLiteral("choices"), QStringLiteral("Courses each learner chooses after the start."),
            QStringLiteral("n"), QStringLiteral("2") },
        { QStringLiteral("think"), QStringLiteral("Mean pause before each choice, in milliseconds."),
            QStringLiteral("ms"), QStringLiteral("1000") },
        { QStringLiteral("no-compress"),
            QStringLiteral("Without the protocol compression the program asks for.") },
        { QStringLiteral("tls-ca"),
            QStringLiteral("Encrypted, as the program's TLS setting does: the server's certificate must be "
                           "signed by this authority (a PEM file) and name the host."),
            QStringLiteral("file") },
        { QStringLiteral("server-pid"),
            QStringLiteral("A server process whose CPU time and memory to read (repeat for several)."),
            QStringLiteral("pid") },
        { QStringLiteral("limit"), QStringLiteral("Nothing new begins after this many seconds."),
            QStringLiteral("s"), QStringLiteral("300") },
        { QStringLiteral("seed"), QStringLiteral("Seed of the arrivals, pauses and choices."),
            QStringLiteral("n"), QStringLiteral("16") },
        { QStringLiteral("row"), QStringLiteral("Also print the result as one row of the Markdown table."),
            QStringLiteral("label") },
        { QStringLiteral("memory"),
            QStringLiteral("Put the servers' memory per connection in the row: only on a freshly started "
                           "server, as memory that earlier connections freed stays counted.") },
        { QStringLiteral("header"), QStringLiteral("Print the Markdown table's header and stop.") },
    });
    parser.process(app);
    if (parser.isSet(QStringLiteral("header"))) {
        std::fputs(tableHeader, stdout);
        return 0;
    }

    orvy::data::DbSettings settings; // the program's time-outs and reconnect rule
    settings.host = parser.value(QStringLiteral("host"));
    if (!isLoopback(settings.host))
        fail(QStringLiteral("%1 is not a loopback address; this tool loads servers on this machine only")
                 .arg(settings.host));
    settings.port = uint(intOption(parser, QStringLiteral("port"), 1, 65535));
    settings.database = parser.value(QStringLiteral("database"));
    if (settings.database.isEmpty())
        fail(QStringLiteral("--database is needed"));
    settings.user = settings.database;
    settings.password = parser.value(QStringLiteral("password"));
    settings.compress = !parser.isSet(QStringLiteral("no-compress"));
    if (parser.isSet(QStringLiteral("tls-ca"))) {
        settings.tls = true;
        settings.tlsCaFile = parser.value(QStringLiteral("tls-ca"));
    }

    const int learners = intOption(parser, QStringLiteral("learners"), 1, maxLearners);
    bool ok = false;
    const double overSeconds = parser.value(QStringLiteral("over")).toDouble(&ok);
    if (!ok || overSeconds < 0 || overSeconds > 3600)
        fail(QStringLiteral("--over must be from 0 to 3600 seconds"));
    const int choices = intOption(parser, QStringLiteral("choices"), 0, 1000);
    const int thinkMs = intOption(parser, QStringLiteral("think"), 0, 600000);
    const int limitSeconds = intOption(parser, QStringLiteral("limit"), 1, maxLimitSeconds);
    const auto seed = quint32(intOption(parser, QStringLiteral("seed"), 0, INT_MAX));
    QList<qint64> serverPids;
    for (const QString &pid : parser.values(QStringLiteral("server-pid"))) {
        const qint64 value = pid.toLongLong(&ok);
        if (!ok || !readProcessUse(value).ok)
            fail(QStringLiteral("--server-pid %1: no such process to read").arg(pid));
        serverPids.append(value);
    }

    // Arrivals at random over the span, in order.
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> within(0, overSeconds * 1000.0);
    std::vector<double> arrivalMs(std::size_t(learners), 0.0);
    for (double &at : arrivalMs)
        at = within(random);
    std::sort(arrivalMs.begin(), arrivalMs.end());

    std::vector<VisitResult> results;
    results.resize(std::size_t(learners));
    OpenCount open;
    std::atomic<int> finished { 0 };
    std::latch go(1);
    Clock::time_point t0;
    std::vector<std::unique_ptr<QThread>> threads;
    threads.reserve(std::size_t(learners));
    for (int i = 0; i < learners; ++i) {
        const auto index = std::size_t(i);
        std::unique_ptr<QThread> thread(QThread::create([&, index] {
            go.wait();
            Visit visit;
            visit.arrival = t0 + std::chrono::microseconds(qint64(arrivalMs[index] * 1000));
            visit.choices = choices;
            visit.thinkMs = thinkMs;
            visit.seed = seed ^ (quint32(index) * 2654435761u);
            visit.deadline = t0 + std::chrono::seconds(limitSeconds);
            results[index] = runVisit(settings, visit, open);
            ++finished;
        }));
        thread->setStackSize(learnerStackBytes);
        thread->start();
        threads.push_back(std::move(thread));
    }

    const ProcessUse before = readProcessUse(serverPids);
    const double ownBefore = ownCpuMs();
    t0 = Clock::now() + std::chrono::milliseconds(50);
    go.count_down();

    // While they run: the servers' memory when the most connections are open.
    double peakRssKb = before.rssKb;
    int openAtPeak = 0;
    const Clock::time_point giveUp = t0 + std::chrono::seconds(limitSeconds + drainSeconds);
    while (finished.load() < learners) {
        if (Clock::now() > giveUp) {
            std::fprintf(stderr, "orvy_load: %d learners still wait on the server after %d s; stopping\n",
                learners - finished.load(), limitSeconds + drainSeconds);
            std::fflush(stdout);
            std::_Exit(3);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (serverPids.isEmpty())
            continue;
        const int openNow = open.now.load();
        const ProcessUse now = readProcessUse(serverPids);
        if (now.ok && openNow > 0 && openNow >= openAtPeak) {
            peakRssKb = now.rssKb;
            openAtPeak = openNow;
        }
    }
    const Clock::time_point end = Clock::now();
    for (auto &thread : threads)
        thread->wait();
    const ProcessUse after = readProcessUse(serverPids);
    const double ownMs = ownCpuMs() - ownBefore;

    int ran = 0;
    int started = 0;
    QMap<unsigned, std::pair<int, QString>> refusals;
    QMap<unsigned, std::pair<int, QString>> choiceFailures;
    std::vector<double> startMs;
    std::vector<double> choiceMs;
    Clock::time_point lastStart = t0;
    for (const VisitResult &r : results) {
        ran += r.ran;
        if (r.started) {
            ++started;
            startMs.push_back(r.startMs);
            lastStart = std::max(lastStart, r.startedAt);
        } else if (r.ran) {
            auto &entry = refusals[r.refusal];
            if (entry.first++ == 0)
                entry.second = r.refusalText;
        }
        choiceMs.insert(choiceMs.end(), r.choiceMs.begin(), r.choiceMs.end());
        if (r.choiceFailed) {
            auto &entry = choiceFailures[r.choiceError];
            if (entry.first++ == 0)
                entry.second = r.choiceErrorText;
        }
    }
    const Clock::time_point firstArrival = t0 + std::chrono::microseconds(qint64(arrivalMs.front() * 1000));
    const double startSpanS = std::chrono::duration<double>(lastStart - firstArrival).count();
    const double startsPerSecond = started > 0 && startSpanS > 0 ? started / startSpanS : NAN;
    const double wallS = std::chrono::duration<double>(end - t0).count();

    std::printf("%d learners arriving within %.1f s, %d course choices each after ~%d ms, compression %s, "
                "TLS %s, through %s:%u\n",
        learners, overSeconds, choices, thinkMs, settings.compress ? "on" : "off",
        settings.tls ? "on" : "off", qPrintable(settings.host), settings.port);
    if (ran < learners)
        std::printf("not run (arrived after the %d s limit): %d\n", limitSeconds, learners - ran);
    std::printf("started: %d of %d\n", started, ran);
    for (auto it = refusals.cbegin(); it != refusals.cend(); ++it)
        std::printf("refused at start, error %u: %d (%s)\n", it.key(), it.value().first,
            qPrintable(it.value().second));
    std::printf("start-ups per second: %.0f (first arrival to the last start-up)\n", startsPerSecond);
    std::printf("start: median %s, 99th percentile %s, slowest %s\n",
        qPrintable(ms(percentile(startMs, 0.5))), qPrintable(ms(percentile(startMs, 0.99))),
        qPrintable(ms(percentile(startMs, 1))));
    std::printf("course choices: %zu, median %s, 99th percentile %s\n", choiceMs.size(),
        qPrintable(ms(percentile(choiceMs, 0.5))), qPrintable(ms(percentile(choiceMs, 0.99))));
    for (auto it = choiceFailures.cbegin(); it != choiceFailures.cend(); ++it)
        std::printf("course choice failed, error %u: %d (%s)\n", it.key(), it.value().first,
            qPrintable(it.value().second));
    std::printf("connections open at once: at most %d\n", open.peak.load());
    std::printf("this tool's CPU: %.2f ms per learner\n", ran > 0 ? ownMs / ran : NAN);

    double cpuPerLearner = NAN;
    double kbPerConnection = NAN;
    if (!serverPids.isEmpty()) {
        if (!after.ok) {
            std::printf("server: a process ended during the run; no CPU or memory figures\n");
        } else {
            const double cpuMs = after.cpuMs - before.cpuMs;
            cpuPerLearner = ran > 0 ? cpuMs / ran : NAN;
            std::printf("server CPU: %.0f ms in %.1f s (%.2f cores), %.2f ms per learner\n", cpuMs, wallS,
                cpuMs / 1000.0 / wallS, cpuPerLearner);
            if (openAtPeak > 0)
                kbPerConnection = (peakRssKb - before.rssKb) / openAtPeak;
            std::printf("server memory: %.0f MB before, %.0f MB with the most connections open (%d), "
                        "%.0f KB per connection\n",
                before.rssKb / 1024, peakRssKb / 1024, openAtPeak, kbPerConnection);
        }
    }

    if (parser.isSet(QStringLiteral("row"))) {
        const auto number = [](double v, int decimals) {
            return std::isnan(v) ? QStringLiteral("–") : QString::number(v, 'f', decimals);
        };
        QStringList refused;
        for (auto it = refusals.cbegin(); it != refusals.cend(); ++it)
            refused << QStringLiteral("%1 × %2").arg(it.value().first).arg(it.key());
        std::printf("| %s | %d | %.1f s | %d | %s | %s | %s | %s | %s | %s | %s | %s |\n",
            qPrintable(parser.value(QStringLiteral("row"))), learners, overSeconds, started,
            qPrintable(refused.isEmpty() ? QStringLiteral("0") : refused.join(QStringLiteral(", "))),
            qPrintable(number(startsPerSecond, 0)), qPrintable(ms(percentile(startMs, 0.5))),
            qPrintable(ms(percentile(startMs, 0.99))), qPrintable(ms(percentile(choiceMs, 0.5))),
            qPrintable(ms(percentile(choiceMs, 0.99))),
            qPrintable(std::isnan(cpuPerLearner) ? QStringLiteral("–") : number(cpuPerLearner, 2) + " ms"),
            qPrintable(std::isnan(kbPerConnection) || !parser.isSet(QStringLiteral("memory"))
                    ? QStringLiteral("–")
                    : number(kbPerConnection, 0) + " KB"));
    }
    return 0;
}
