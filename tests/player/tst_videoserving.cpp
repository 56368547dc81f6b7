// Lessons played from the reference video servers of scripts/video-serve.sh: an nginx
// caching server (slices) in front of an nginx origin, on loopback. The real browser plays
// the player page as the window builds it; the servers' access logs tell what it asked.
#include "player/playerpage.h"
#include "envfile.h"
#include "testpaths.h"
#include "tmpdir.h"
#include "ui/browser/edgebrowser.h"
#include "webutil.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtEndian>
#include <algorithm>
#include <functional>
#include <memory>

using orvy::test::runJavaScriptSync;
using orvy::test::waitForJavaScript;
using orvy::ui::EdgeBrowser;

namespace {

const QString script = QStringLiteral(ORVY_SOURCE_DIR "/scripts/video-serve.sh");
// The caching server's slice: the clips span several.
constexpr qint64 slice = 1024 * 1024;

// One answer of an access log (deploy/videos/*.conf's "videos" format).
struct Answer {
    QString path;
    int status = 0;
    qint64 rangeStart = -1; // -1: no Range asked for
};

QList<Answer> readLog(const QString &path)
{
    static const QRegularExpression line(
        QStringLiteral(R"re("GET (\S+) HTTP/[\d.]+" (\d+) \d+ "(?:bytes=(\d+)-\d*|-)")re"));
    QList<Answer> answers;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return answers;
    for (const QString &text : QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = line.match(text);
        if (!m.hasMatch())
            continue;
        answers.append({ m.captured(1), m.captured(2).toInt(),
            m.captured(3).isEmpty() ? -1 : m.captured(3).toLongLong() });
    }
    return answers;
}

// For a failure's message: each answer's status and where its range began.
QString describe(const QList<Answer> &answers)
{
    QStringList parts;
    for (const Answer &a : answers)
        parts << QStringLiteral("%1 from %2").arg(a.status).arg(a.rangeStart);
    return parts.join(QStringLiteral(", "));
}

// Offsets of an MP4's top-level boxes by type (the first of each).
QHash<QByteArray, qint64> topLevelBoxes(const QString &path)
{
    QHash<QByteArray, qint64> boxes;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return boxes;
    qint64 at = 0;
    while (at + 8 <= file.size()) {
        file.seek(at);
        const QByteArray head = file.read(16);
        qint64 size = qFromBigEndian<quint32>(head.constData());
        if (size == 1 && head.size() == 16)
            size = qint64(qFromBigEndian<quint64>(head.constData() + 8));
        if (size < 8)
            break;
        boxes.insert(head.mid(4, 4), at);
        at += size;
    }
    return boxes;
}

bool run(const QString &program, const QStringList &args, QString *output, int timeoutMs = 120000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    const bool finished = process.waitForFinished(timeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    *output = QString::fromLocal8Bit(process.readAll()) + process.errorString();
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

class TestVideoServing : public QObject {
    Q_OBJECT

private:
    // In /tmp, open to the account nginx's workers run as when started by root.
    QTemporaryDir m_root { QDir::tempPath() + QStringLiteral("/orvy-videos-XXXXXX") };
    QHash<QString, QString> m_env;
    std::unique_ptr<QWidget> m_host;
    EdgeBrowser *m_browser = nullptr;
    qint64 m_lessonSize = 0;
    qint64 m_lateMoov = 0; // where the index starts in the lesson that has it last

    QString media() const { return m_root.path() + QStringLiteral("/media"); }
    QString runDir() const { return m_root.path() + QStringLiteral("/run"); }
    QVariant js(const QString &script) const { return runJavaScriptSync(m_browser->page(), script); }
    bool waitJs(const QString &expression, int timeoutMs = 30000) const
    {
        return waitForJavaScript(m_browser->page(), expression, timeoutMs);
    }
    // What the window does for one lesson: the player page with the lesson's link.
    bool play(const QString &file)
    {
        QString error;
        if (!m_browser->waitUntilCreated(&error)) {
            qWarning() << "creation failed:" << error;
            return false;
        }
        m_browser->switchOffDefaults();
        m_browser->navigateToString(
            orvy::player::buildPlayerPage(m_env.value(QStringLiteral("url")) + u'/' + file));
        m_browser->executeScript(orvy::player::fullScreenScript());
        return waitJs(QStringLiteral("document.getElementById('vid') && "
                                     "document.getElementById('vid').currentTime > 0.3"));
    }
    // Answers for one file in a server's log, once the log has some (nginx writes its
    // log at most a second late).
    QList<Answer> answersFor(
        const QString &log, const QString &file, const std::function<bool(const Answer &)> &until)
    {
        QList<Answer> mine;
        (void)QTest::qWaitFor(
            [&] {
                mine.clear();
                for (const Answer &a : readLog(m_env.value(log)))
                    if (a.path == u'/' + file)
                        mine.append(a);
                return std::any_of(mine.cbegin(), mine.cend(), until);
            },
            10000);
        return mine;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        QFile::setPermissions(m_root.path(),
            QFile::permissions(m_root.path()) | QFile::ExeGroup | QFile::ReadGroup | QFile::ExeOther
                | QFile::ReadOther);
        QVERIFY(QDir().mkpath(media()));
        // A clip of a lesson's kind (H.264 + AAC, index first) whose noise keeps it large,
        // so the engine cannot hold all of it ahead and a seek asks for a new range.
        const QString lesson = media() + QStringLiteral("/lesson.mp4");
        const QString late = media() + QStringLiteral("/moov-last.mp4");
        QString output;
        QVERIFY2(run(QStringLiteral("ffmpeg"),
                     { QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                         QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                         QStringLiteral("testsrc=size=160x120:rate=25"), QStringLiteral("-f"),
                         QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine"),
                         QStringLiteral("-t"), QStringLiteral("40"), QStringLiteral("-vf"),
                         QStringLiteral("noise=alls=100:allf=t"), QStringLiteral("-c:v"),
                         QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("ultrafast"),
                         QStringLiteral("-qp"), QStringLiteral("10"), QStringLiteral("-pix_fmt"),
                         QStringLiteral("yuv420p"), QStringLiteral("-c:a"), QStringLiteral("aac"),
                         QStringLiteral("-movflags"), QStringLiteral("+faststart"), lesson },
                     &output),
            qPrintable(output));
        // The same lesson as many tools write it: the index after the media.
        QVERIFY2(run(QStringLiteral("ffmpeg"),
                     { QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                         QStringLiteral("-i"), lesson, QStringLiteral("-c"), QStringLiteral("copy"), late },
                     &output),
            qPrintable(output));
        m_lessonSize = QFileInfo(lesson).size();
        QVERIFY(m_lessonSize > 8 * slice);
        const QHash<QByteArray, qint64> first = topLevelBoxes(lesson), last = topLevelBoxes(late);
        QVERIFY(first.contains("moov") && first.contains("mdat") && first["moov"] < first["mdat"]);
        QVERIFY(last.contains("moov") && last.contains("mdat") && last["moov"] > last["mdat"]);
        m_lateMoov = last["moov"];

        QProcess start;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VIDEO_SERVE_PORT"), QStringLiteral("auto"));
        env.insert(QStringLiteral("VIDEO_SERVE_SLICE"), QString::number(slice));
        start.setProcessEnvironment(env);
        start.setProcessChannelMode(QProcess::MergedChannels);
        start.start(QStringLiteral("bash"),
            { script, QStringLiteral("start"), QStringLiteral("cached"), media(), runDir(),
                QStringLiteral("--owner"), QString::number(QCoreApplication::applicationPid()) });
        QVERIFY(start.waitForFinished(60000));
        QVERIFY2(start.exitCode() == 0, start.readAll().constData());
        m_env = orvy::test::readEnvFile(runDir() + QStringLiteral("/videos.env"));
        QVERIFY(m_env.value(QStringLiteral("url")).startsWith(QStringLiteral("http://127.0.0.1:")));

        m_host = std::make_unique<QWidget>();
        m_host->resize(640, 400);
        m_browser = new EdgeBrowser(m_host.get());
        m_browser->setGeometry(10, 10, 600, 360);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
    }

    // Each case starts with a view of its own, however the one before ended.
    void cleanup() { m_browser->closeView(); }

    void cleanupTestCase()
    {
        m_host.reset();
        QString output;
        QVERIFY2(run(QStringLiteral("bash"), { script, QStringLiteral("stop"), runDir() }, &output),
            qPrintable(output));
    }

    // Seeking asks the caching server for a range of its own (206), which it fills from
    // the origin slice by slice: the origin never sends the whole file.
    void playsAndSeeksThroughTheCache()
    {
        const QString file = QStringLiteral("lesson.mp4");
        QVERIFY(play(file));
        const double duration = js(QStringLiteral("document.getElementById('vid').duration")).toDouble();
        QVERIFY2(duration > 35 && duration < 45, qPrintable(QString::number(duration)));
        // Played so far: a second or two; the seek must get past 30 s long before playing would.
        QVERIFY(js(QStringLiteral("document.getElementById('vid').currentTime")).toDouble() < 20);
        // A click on the timeline at four fifths of its length (32 s of 40). The pointer
        // over the video shows the controls; the timeline runs along their foot, 24 px
        // in from either side, 31 px above the video's lower edge.
        QWidget *input = m_browser->view()->focusProxy();
        const QSize size = m_browser->view()->size();
        QTest::mouseMove(input, QPoint(size.width() / 2, size.height() / 2));
        QTest::qWait(300);
        QTest::mouseMove(input, QPoint(size.width() / 2 + 10, size.height() / 2 + 10));
        // The controls fade in; a loaded machine draws them late.
        QTest::qWait(1000);
        const int left = 24, right = size.width() - 24;
        QTest::mouseClick(
            input, Qt::LeftButton, {}, QPoint(left + (right - left) * 4 / 5, size.height() - 31));
        QVERIFY2(waitJs(QStringLiteral("!document.getElementById('vid').paused && "
                                       "document.getElementById('vid').currentTime > 30"),
                     5000),
            qPrintable(js(QStringLiteral("document.getElementById('vid').currentTime")).toString()));

        // nginx logs an answer when it ends: closing the lesson ends the engine's requests.
        m_browser->closeView();
        // 32 s of 40 lie well past the file's middle; the engine reads ahead far less.
        const qint64 seekedTo = m_lessonSize / 2;
        const QList<Answer> cache = answersFor(
            QStringLiteral("cache_log"), file, [&](const Answer &a) { return a.rangeStart >= seekedTo; });
        QVERIFY(!cache.isEmpty());
        for (const Answer &a : cache)
            QCOMPARE(a.status, 206);
        QVERIFY2(std::any_of(
                     cache.cbegin(), cache.cend(), [&](const Answer &a) { return a.rangeStart >= seekedTo; }),
            qPrintable(describe(cache)));
        const QList<Answer> origin
            = answersFor(QStringLiteral("origin_log"), file, [](const Answer &) { return true; });
        QVERIFY(!origin.isEmpty());
        for (const Answer &a : origin) {
            QCOMPARE(a.status, 206);
            QCOMPARE(a.rangeStart % slice, 0);
        }
    }

    // With the index last, the engine fetches the file's end before it can start: one
    // more range, and the lesson plays all the same.
    void lessonWithIndexLastStillPlays()
    {
        const QString file = QStringLiteral("moov-last.mp4");
        QVERIFY(play(file));
        QVERIFY(waitJs(QStringLiteral("document.getElementById('vid').videoWidth === 160")));
        m_browser->closeView();
        const QList<Answer> cache = answersFor(QStringLiteral("cache_log"), file,
            [&](const Answer &a) { return a.rangeStart > m_lateMoov - slice; });
        QVERIFY2(std::any_of(cache.cbegin(), cache.cend(),
                     [&](const Answer &a) { return a.rangeStart > m_lateMoov - slice; }),
            qPrintable(describe(cache)));
        for (const Answer &a : cache)
            QCOMPARE(a.status, 206);
    }
};

int main(int argc, char **argv)
{
    // Root cannot use the engine's sandbox here; no GPU under the private X server.
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The engine's profile and cache start empty: a copy kept from an earlier run would
    // answer in place of the servers.
    const QString xdg = orvy::test::freshTestDir(QStringLiteral("xdg"));
    for (const char *name : { "data", "cache", "config" }) {
        QDir(xdg).mkpath(QString::fromLatin1(name));
        qputenv((QByteArray("XDG_") + QByteArray(name).toUpper() + "_HOME").constData(),
            (xdg + u'/' + QString::fromLatin1(name)).toUtf8());
    }
    QApplication app(argc, argv);
    TestVideoServing test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_videoserving.moc"
