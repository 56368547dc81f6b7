#include "check/check.h"
#include "check/linkprobe.h"
#include "check/options.h"
#include "check/report.h"
#include "core/error.h"
#include "httpserver.h"
#include "mariadbserver.h"
#include "tmpdir.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTest>

using namespace orvy;
using namespace orvy::check;
using orvy::test::HttpServer;

namespace {

// A short clip made by ffmpeg with the given video encoder and mp4 flags; empty on failure.
QString makeClip(const QString &dir, const QString &name, const QStringList &encoding)
{
    const QString path = dir + u'/' + name;
    QStringList args { QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
        QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
        QStringLiteral("testsrc=size=160x120:rate=25"), QStringLiteral("-f"), QStringLiteral("lavfi"),
        QStringLiteral("-i"), QStringLiteral("sine"), QStringLiteral("-t"), QStringLiteral("20"),
        QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:a"), QStringLiteral("aac") };
    args << encoding << path;
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), args);
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0) {
        qWarning() << "ffmpeg:" << ffmpeg.readAllStandardError();
        return {};
    }
    return path;
}

QByteArray pngOf(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkBlue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString interfaceRow(const QString &banner, const QString &colour1)
{
    return QStringLiteral("INSERT INTO interface (intPics, intLBL1, intLBL2, intLBL3, intLBLPhone, intLBLWhats, "
                          "intLBLInsta, intLBLOrvy, fbLink, lblColor1, lblColor2, lblColor3) VALUES (%1, 'Welcome', "
                          "'to', 'school', '0750', '', '', 'example.org', '', %2, '$FF00FF', '0');")
        .arg(test::MariaDbServer::quoted(banner), test::MariaDbServer::quoted(colour1));
}

} // namespace

class TestCatalogCheck : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void options_data();
    void options();
    void linkCharacters_data();
    void linkCharacters();
    void faultyCatalogue_data();
    void faultyCatalogue();
    void findingNamesItsLessons();
    void faultyLinksMeasured();
    void cleanCatalogue();
    void exitStatus_data();
    void exitStatus();
    void totalTimeLimit();

private:
    CheckOptions optionsFor(const QString &database) const;
    QProcess *runTool(const QStringList &arguments, const QString &database);

    test::MariaDbServer m_db;
    HttpServer m_http;
    CheckResult m_faulty;
    qint64 m_goodSize = 0;
};

CheckOptions TestCatalogCheck::optionsFor(const QString &database) const
{
    CheckOptions options;
    options.db.host = m_db.host();
    options.db.port = m_db.port();
    options.db.database = database;
    options.db.user = m_db.user();
    options.db.password = m_db.password();
    options.jobs = 4;
    options.timeoutSeconds = 120;
    return options;
}

void TestCatalogCheck::initTestCase()
{
    QVERIFY2(m_db.start(), qPrintable(m_db.errorString()));
    QVERIFY(m_db.createDatabase(QStringLiteral("clean"), QStringLiteral("editor"), QStringLiteral("pw")));
    QVERIFY(m_db.createCourseTables(QStringLiteral("clean")));
    QVERIFY(m_db.runSql(QStringLiteral("CREATE DATABASE faulty; GRANT ALL ON faulty.* TO 'editor'@'%';")));
    QVERIFY(m_db.createCourseTables(QStringLiteral("faulty")));

    const QString media = test::freshTestDir(QStringLiteral("catalogcheck"));
    const QString good = makeClip(media, QStringLiteral("good.mp4"),
        { QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-movflags"), QStringLiteral("+faststart") });
    const QString last = makeClip(media, QStringLiteral("last.mp4"), { QStringLiteral("-c:v"), QStringLiteral("libx264") });
    // MPEG-4 Part 2: an encoder every ffmpeg has, a codec the embedded engine does not play.
    const QString part2 = makeClip(media, QStringLiteral("part2.mp4"),
        { QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-movflags"), QStringLiteral("+faststart") });
    QVERIFY(!good.isEmpty() && !last.isEmpty() && !part2.isEmpty());
    m_goodSize = QFileInfo(good).size();
    QFile goodFile(good);
    QVERIFY(goodFile.open(QIODevice::ReadOnly));

    m_http.setRoute("/good.mp4", HttpServer::Response::file(good, "video/mp4"));
    m_http.setRoute("/shared.mp4", HttpServer::Response::file(good, "video/mp4"));
    m_http.setRoute("/moved.mp4", HttpServer::Response::redirect(302, "/good.mp4"));
    m_http.setRoute("/last.mp4", HttpServer::Response::file(last, "video/mp4"));
    m_http.setRoute("/part2.mp4", HttpServer::Response::file(part2, "video/mp4"));
    m_http.setRoute("/whole.mp4", HttpServer::Response::ok(goodFile.readAll(), "video/mp4")); // no ranges
    m_http.setRoute("/page.mp4", HttpServer::Response::ok("<html>sign in</html>", "text/html"));
    m_http.setRoute("/loop.mp4", HttpServer::Response::redirect(302, "/loop.mp4"));
    m_http.setRoute("/slow.mp4", HttpServer::Response::neverAnswer());
    m_http.setRoute("/banner.png", HttpServer::Response::ok(pngOf(QSize(1152, 376)), "image/png"));

    const auto url = [this](const char *path) { return test::MariaDbServer::quoted(m_http.url(QString::fromLatin1(path))); };
    QVERIFY(m_db.runSql(interfaceRow(m_http.url(QStringLiteral("/banner.png")), QStringLiteral("16777215"))
            + QStringLiteral("INSERT INTO classtype VALUES (1, 'Languages');"
                             "INSERT INTO courses VALUES (10, 'English', 1), (11, 'Kurdish', 1);")
            + QStringLiteral("INSERT INTO lessons VALUES ('One', %1, 10, 1, 1), ('Two', %2, 10, 1, 2), "
                             "('Three', %3, 11, 1, 1), ('Old', 'gone', 11, 0, 2);")
                  .arg(url("/good.mp4"), url("/moved.mp4"), url("/good.mp4")),
        QStringLiteral("clean")));

    // Each fault once. The content team's own tools may widen columns and ids. A course
    // name may hold " / ", which must not cut the lesson names a finding gives.
    const QString longName = QString(2100, u'ب');
    QVERIFY(m_db.runSql(QStringLiteral("ALTER TABLE courses MODIFY cID BIGINT, MODIFY cName TEXT;"
                                       "ALTER TABLE lessons MODIFY cID BIGINT, DROP KEY lessons_of_course;")
            + interfaceRow(m_http.url(QStringLiteral("/nobanner.png")), QStringLiteral("red"))
            + QStringLiteral("INSERT INTO classtype VALUES (1, 'Languages'), (2, 'Unused');"
                             "INSERT INTO courses VALUES (20, 'Links / faults', 1), (21, %1, 1), (22, 'Empty', 1), "
                             "(3000000000, 'Too big', 1);")
                  .arg(test::MariaDbServer::quoted(longName))
            + QStringLiteral("INSERT INTO lessons VALUES ('missing', %1, 20, 1, 1), ('page', %2, 20, 1, 2), "
                             "('whole', %3, 20, 1, 3), ('last', %4, 20, 1, 4), ('part2', %5, 20, 1, 5), "
                             "('loop', %6, 20, 1, 6), ('slow', %7, 20, 1, 7), ('ftp', 'ftp://127.0.0.1/a.mp4', 20, 1, 8), "
                             "('hash', %8, 20, 1, 9), ('A', %9, 21, 1, 1), ('B', %9, 21, 1, 1), "
                             "('off', %9, 22, 0, 1);")
                  .arg(url("/missing.mp4"), url("/page.mp4"), url("/whole.mp4"), url("/last.mp4"), url("/part2.mp4"),
                      url("/loop.mp4"), url("/slow.mp4"), test::MariaDbServer::quoted(m_http.url(QStringLiteral("/good.mp4#t=5"))),
                      url("/shared.mp4")),
        QStringLiteral("faulty")));

    CheckLimits limits;
    limits.link.requestTimeoutMs = 3000; // the silent server; loaded machines answer the others far sooner
    QElapsedTimer clock;
    clock.start();
    m_faulty = runCheck(optionsFor(QStringLiteral("faulty")), limits);
    qInfo() << "faulty catalogue checked in" << clock.elapsed() << "ms";
}

void TestCatalogCheck::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("environment"); // "-": not set
    QTest::addColumn<QString>("password"); // "!": refused
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("user");

    QTest::newRow("defaults") << QStringList {} << "-" << "built-in" << "localhost" << "orvyclass";
    QTest::newRow("environment") << QStringList {} << "env" << "env" << "localhost" << "orvyclass";
    QTest::newRow("empty environment is a password") << QStringList {} << "" << "" << "localhost" << "orvyclass";
    QTest::newRow("hosts, port, database")
        << QStringList { "--host", "a,b:3307", "--port=3310", "--database", "school" } << "-" << "built-in" << "a,b:3307"
        << "school";
    QTest::newRow("user") << QStringList { "--user", "editor" } << "-" << "built-in" << "localhost" << "editor";
    QTest::newRow("bad port") << QStringList { "--port", "70000" } << "-" << "!" << "" << "";
    QTest::newRow("no jobs") << QStringList { "--jobs", "0" } << "-" << "!" << "" << "";
    QTest::newRow("timeout not a number") << QStringList { "--timeout", "soon" } << "-" << "!" << "" << "";
    QTest::newRow("value missing") << QStringList { "--host" } << "-" << "!" << "" << "";
    QTest::newRow("unknown option") << QStringList { "--verbose" } << "-" << "!" << "" << "";
    QTest::newRow("flag with value") << QStringList { "--json=yes" } << "-" << "!" << "" << "";
    QTest::newRow("missing password file") << QStringList { "--password-file", "/nonexistent/pw" } << "-" << "!" << ""
                                           << "";
}

void TestCatalogCheck::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, environment);
    QFETCH(QString, password);
    QFETCH(QString, host);
    QFETCH(QString, user);
    data::DbSettings builtIn;
    builtIn.host = QStringLiteral("localhost");
    builtIn.database = QStringLiteral("orvyclass");
    builtIn.user = QStringLiteral("orvyclass");
    builtIn.password = QStringLiteral("built-in");
    const std::optional<QString> env = environment == u"-" ? std::nullopt : std::optional<QString>(environment);
    if (password == u"!") {
        QVERIFY_THROWS_EXCEPTION(Error, parseOptions(arguments, builtIn, env, {}));
        return;
    }
    const CheckOptions options = parseOptions(arguments, builtIn, env, {});
    QCOMPARE(options.db.password, password);
    QCOMPARE(options.db.host, host);
    QCOMPARE(options.db.user, user);
}

void TestCatalogCheck::linkCharacters_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("requested");
    QTest::addColumn<bool>("changes");
    QTest::addColumn<bool>("encoded");
    QTest::newRow("plain") << "http://h/a.mp4" << "http://h/a.mp4" << false << false;
    QTest::newRow("fragment") << "http://h/lesson#1.mp4" << "http://h/lesson" << true << false;
    QTest::newRow("backslash") << "http://h\\v\\a.mp4" << "http://h/v/a.mp4" << true << false;
    QTest::newRow("line break inside") << "http://h/a\n.mp4" << "http://h/a.mp4" << true << false;
    QTest::newRow("lone percent") << "http://h/100%.mp4" << "http://h/100%.mp4" << false << true;
    QTest::newRow("escaped percent") << "http://h/100%25.mp4" << "http://h/100%25.mp4" << false << false;
    QTest::newRow("blanks at the ends") << "  http://h/a.mp4 " << "http://h/a.mp4" << false << true;
    QTest::newRow("blank inside") << "http://h/my lesson.mp4" << "http://h/my lesson.mp4" << false << true;
    QTest::newRow("Arabic letters") << "http://h/درس.mp4" << "http://h/درس.mp4" << false << true;
    QTest::newRow("quote and angle") << "http://h/a\"<b>.mp4" << "http://h/a\"<b>.mp4" << false << false;
}

void TestCatalogCheck::linkCharacters()
{
    QFETCH(QString, link);
    QFETCH(QString, requested);
    QFETCH(bool, changes);
    QFETCH(bool, encoded);
    QCOMPARE(browserAddress(link), requested);
    const LinkCharacters found = check::linkCharacters(link);
    QCOMPARE(!found.changesAddress.isEmpty(), changes);
    QCOMPARE(!found.encoded.isEmpty(), encoded);
}

void TestCatalogCheck::faultyCatalogue_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qint64>("courseId"); // -1: the catalogue as a whole
    QTest::addColumn<QString>("subject"); // a part of it

    QTest::newRow("missing") << "link-status" << qint64(20) << "missing.mp4";
    QTest::newRow("wrong type") << "link-type" << qint64(20) << "page.mp4";
    QTest::newRow("no ranges") << "link-ranges" << qint64(20) << "whole.mp4";
    QTest::newRow("moov last") << "link-index-last" << qint64(20) << "last.mp4";
    QTest::newRow("redirect loop") << "link-unreachable" << qint64(20) << "loop.mp4";
    QTest::newRow("slow server") << "link-unreachable" << qint64(20) << "slow.mp4";
    QTest::newRow("other scheme") << "link-scheme" << qint64(20) << "ftp://";
    QTest::newRow("fragment in the link") << "link-characters" << qint64(20) << "hash";
    QTest::newRow("banner") << "banner" << qint64(-1) << "intPics";
    QTest::newRow("colour") << "colour" << qint64(-1) << "lblColor1";
    QTest::newRow("long course name") << "text-cut" << qint64(21) << "course name";
    QTest::newRow("same LSORT") << "same-sort" << qint64(21) << "LSORT 1";
    QTest::newRow("no active lesson") << "course-without-lesson" << qint64(22) << "";
    QTest::newRow("type without course") << "type-without-course" << qint64(-1) << "Unused";
    QTest::newRow("id too big") << "id-range" << qint64(-1) << "cID";
    QTest::newRow("index") << "server-index" << qint64(-1) << "lessons";
    if (ORVY_CHECK_WITH_MEDIA_PROBE)
        QTest::newRow("unplayable codec") << "link-codec" << qint64(20) << "part2.mp4";
}

void TestCatalogCheck::faultyCatalogue()
{
    QFETCH(QString, kind);
    QFETCH(qint64, courseId);
    QFETCH(QString, subject);
    const bool found = std::any_of(m_faulty.findings.begin(), m_faulty.findings.end(), [&](const Finding &f) {
        return f.severity == Finding::Severity::Failure && f.kind == kind && f.courseId == courseId
            && f.subject.contains(subject);
    });
    if (!found)
        qWarning().noquote() << textReport(m_faulty);
    QVERIFY(found);
    QCOMPARE(check::exitStatus(m_faulty), 1);
}

// A link's finding names the lessons that play it, whatever the course's name holds.
void TestCatalogCheck::findingNamesItsLessons()
{
    const auto finding = std::find_if(m_faulty.findings.begin(), m_faulty.findings.end(),
        [](const Finding &f) { return f.kind == QStringLiteral("link-characters") && f.courseId == 20; });
    QVERIFY(finding != m_faulty.findings.end());
    QCOMPARE(finding->subject.section(QStringLiteral(" <"), 0, 0), QStringLiteral("hash"));
}

void TestCatalogCheck::faultyLinksMeasured()
{
    const auto linkOf = [this](const QString &path) -> const LinkReport & {
        for (const LinkReport &l : m_faulty.links)
            if (l.link.endsWith(path))
                return l;
        static const LinkReport none;
        return none;
    };
    // The file named by several lessons is checked once and said to be shared.
    QCOMPARE(linkOf(QStringLiteral("/shared.mp4")).lessons.size(), 2);
    QVERIFY(std::any_of(m_faulty.findings.begin(), m_faulty.findings.end(),
        [](const Finding &f) { return f.kind == u"link-shared" && f.severity == Finding::Severity::Note; }));
    // An inactive lesson is not what learners meet: its link is not checked for it.
    QCOMPARE(linkOf(QStringLiteral("/shared.mp4")).courseIds, (QList<qint64> { 21, 21 }));
    // The server that ignores ranges sends the whole file; the check stops after the first block.
    const LinkReport &whole = linkOf(QStringLiteral("/whole.mp4"));
    QVERIFY(!whole.ranges);
    QVERIFY2(whole.bytesRead <= 64 * 1024, qPrintable(QString::number(whole.bytesRead)));
    if (!ORVY_CHECK_WITH_MEDIA_PROBE)
        return;
    const LinkReport &last = linkOf(QStringLiteral("/last.mp4"));
    QCOMPARE(last.indexFirst, std::optional<bool>(false));
    QVERIFY2(last.probed, qPrintable(last.probeError));
    QCOMPARE(last.videoCodec, QStringLiteral("h264"));
    QCOMPARE(linkOf(QStringLiteral("/part2.mp4")).videoCodec, QStringLiteral("mpeg4"));
}

void TestCatalogCheck::cleanCatalogue()
{
    const CheckResult result = runCheck(optionsFor(QStringLiteral("clean")));
    if (result.hasFailures())
        qWarning().noquote() << textReport(result);
    QCOMPARE(check::exitStatus(result), 0);
    QCOMPARE(result.activeLessons, 3);
    QCOMPARE(result.links.size(), 2); // good.mp4 twice, moved.mp4 once
    for (const LinkReport &l : result.links) {
        QCOMPARE(l.status, 206L);
        QVERIFY(l.finalUrl.endsWith(u"/good.mp4"));
        QVERIFY(l.ranges);
        QCOMPARE(l.size, m_goodSize);
        QCOMPARE(l.indexFirst, std::optional<bool>(true));
        qInfo() << l.link << "read" << l.bytesRead << "of" << l.size << "bytes";
        // Only the header's ranges, never the whole file.
        QVERIFY2(l.bytesRead < l.size, qPrintable(QStringLiteral("%1 of %2").arg(l.bytesRead).arg(l.size)));
        if (ORVY_CHECK_WITH_MEDIA_PROBE) {
            QVERIFY2(l.probed, qPrintable(l.probeError));
            QCOMPARE(l.videoCodec, QStringLiteral("h264"));
            QCOMPARE(l.audioCodec, QStringLiteral("aac"));
            QVERIFY(qAbs(l.durationSeconds - 20) < 0.5);
            QVERIFY(l.bitrate > 0);
        }
    }
}

QProcess *TestCatalogCheck::runTool(const QStringList &arguments, const QString &database)
{
    auto *tool = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVY_CHECK_PASSWORD"), m_db.password());
    tool->setProcessEnvironment(env);
    tool->start(QStringLiteral(ORVY_CHECK_EXECUTABLE),
        QStringList { QStringLiteral("--host"), m_db.host(), QStringLiteral("--port"), QString::number(m_db.port()),
            QStringLiteral("--database"), database, QStringLiteral("--user"), m_db.user() }
            + arguments);
    tool->waitForFinished(180000);
    return tool;
}

void TestCatalogCheck::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("database");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output"); // a part of standard output, or of standard error for 2

    QTest::newRow("clean, readable") << QStringList {} << "clean" << 0 << "Nothing a learner would meet.";
    QTest::newRow("clean, json") << QStringList { "--json" } << "clean" << 0 << "\"exitStatus\": 0";
    QTest::newRow("faulty, grouped by course") << QStringList { "--jobs", "2" } << "faulty" << 1 << "Course 22 \"Empty\"";
    QTest::newRow("bad option") << QStringList { "--jobs", "many" } << "clean" << 2 << "--jobs";
    QTest::newRow("no such database") << QStringList {} << "nothing" << 2 << "cannot reach the catalogue";
}

void TestCatalogCheck::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, database);
    QFETCH(int, status);
    QFETCH(QString, output);
    // The faulty run waits out the silent server once (the default 20 s per request).
    QProcess *tool = runTool(arguments, database);
    QCOMPARE(tool->exitStatus(), QProcess::NormalExit);
    const QString out = QString::fromUtf8(status == 2 ? tool->readAllStandardError() : tool->readAllStandardOutput());
    QVERIFY2(out.contains(output), qPrintable(out));
    QCOMPARE(tool->exitCode(), status);
    if (arguments.contains(u"--json")) {
        const QJsonObject root = QJsonDocument::fromJson(out.toUtf8()).object();
        QCOMPARE(root.value(u"links").toArray().size(), 2);
        QCOMPARE(root.value(u"mediaProbed").toBool(), bool(ORVY_CHECK_WITH_MEDIA_PROBE));
    }
}

void TestCatalogCheck::totalTimeLimit()
{
    // One job, a silent server first in line: the total limit ends the check on time and
    // the links it never reached are findings, not silence.
    CheckOptions options = optionsFor(QStringLiteral("faulty"));
    options.jobs = 1;
    options.timeoutSeconds = 2;
    QElapsedTimer clock;
    clock.start();
    const CheckResult result = runCheck(options);
    QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(std::any_of(result.findings.begin(), result.findings.end(),
        [](const Finding &f) { return f.kind == u"link-unchecked" || f.subject.contains(u"slow.mp4"); }));
    QCOMPARE(check::exitStatus(result), 1);
}

QTEST_GUILESS_MAIN(TestCatalogCheck)
#include "tst_catalogcheck.moc"
