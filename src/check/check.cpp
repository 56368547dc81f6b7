#include "check/check.h"

#include "check/mediaprobe.h"
#include "core/displaytext.h"
#include "core/error.h"
#include "core/integer.h"
#include "data/connection.h"
#include "data/dberror.h"
#include "data/interfacequery.h"
#include "data/query.h"
#include "data/querytexts.h"
#include "image/pngdecoder.h"
#include "net/bannerfetch.h"

#include <QElapsedTimer>
#include <QtEndian>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <atomic>
#include <curl/curl.h>
#include <mutex>
#include <thread>

namespace orvy::check {

using Severity = Finding::Severity;

bool CheckResult::hasFailures() const
{
    return std::any_of(findings.begin(), findings.end(), [](const Finding &f) { return f.severity == Severity::Failure; });
}

namespace {

struct Course {
    std::optional<QString> id; // as stored; nullopt: NULL
    qint32 readId = 0; // as the program reads it
    bool idFits = true;
    QString name;
    std::optional<QString> typeId;
};

// A lesson that plays a link, in its course.
struct LinkPlayer {
    Course course;
    QString lesson;
};

class Checker {
public:
    Checker(const CheckOptions &options, const CheckLimits &limits)
        : m_options(options)
        , m_limits(limits)
        , m_connection(options.db)
        , m_deadline(qint64(options.timeoutSeconds) * 1000)
    {
    }

    CheckResult run(const std::function<void(int, int)> &progress)
    {
        // libcurl's set-up, once, before any thread of the link checks makes a handle.
        static const CURLcode curlReady = curl_global_init(CURL_GLOBAL_DEFAULT);
        if (curlReady != CURLE_OK)
            throw CannotRun(QString::fromUtf8(curl_easy_strerror(curlReady)));
        try {
            m_connection.open();
        } catch (const Error &error) {
            throw CannotRun(error.message());
        }
        m_result.mediaProbeBuilt = mediaProbeBuilt();
        if (!m_result.mediaProbeBuilt)
            add(Severity::Note, QStringLiteral("media-not-probed"), {}, {},
                QStringLiteral("this build has no media probe: containers and codecs were not checked"));
        checkBranding();
        checkCatalogue();
        checkServer();
        checkLinks(progress);
        return m_result;
    }

private:
    void add(Severity severity, const QString &kind, const Course *course, const QString &subject, const QString &message)
    {
        Finding f;
        f.severity = severity;
        f.kind = kind;
        if (course) {
            f.courseId = course->readId;
            f.courseName = displayText(course->name);
        }
        f.subject = subject;
        f.message = message;
        m_result.findings.append(f);
    }

    void checkCutText(const QString &text, const Course *course, const QString &subject)
    {
        if (displayText(text) != text)
            add(Severity::Failure, QStringLiteral("text-cut"), course, subject,
                QStringLiteral("%1 characters: learners see it cut at %2").arg(text.size()).arg(maxDisplayLength));
    }

    void checkBranding()
    {
        data::InterfaceQuery interface(m_connection);
        try {
            interface.open();
        } catch (const Error &error) {
            add(Severity::Failure, QStringLiteral("branding"), nullptr, QStringLiteral("interface"),
                QStringLiteral("the branding row cannot be read: %1").arg(error.message()));
            return;
        }
        if (interface.eof()) {
            add(Severity::Failure, QStringLiteral("branding"), nullptr, QStringLiteral("interface"),
                QStringLiteral("the interface table has no row: learners see no banner and no welcome texts"));
            return;
        }
        for (const QString &field : { QStringLiteral("intLBL1"), QStringLiteral("intLBL2"), QStringLiteral("intLBL3"),
                 QStringLiteral("intLBLPhone"), QStringLiteral("intLBLOrvy") })
            checkCutText(interface.asString(field), nullptr, field);
        for (const QString &field : { QStringLiteral("lblColor1"), QStringLiteral("lblColor2"), QStringLiteral("lblColor3") }) {
            const QString text = interface.asString(field);
            try {
                parseInteger(text);
            } catch (const Error &error) {
                add(Severity::Failure, QStringLiteral("colour"), nullptr, field,
                    QStringLiteral("%1: a colour is a number (decimal, or hex after $ or 0x)").arg(error.message()));
            }
        }
        checkBanner(interface.asString(QStringLiteral("intPics")));
    }

    void checkBanner(const QString &url)
    {
        const QString subject = QStringLiteral("intPics");
        // The program's limits, shortened only by what is left of the whole check's time.
        net::FetchLimits limits = m_limits.banner;
        const qint64 left = std::max<qint64>(1, m_deadline.remainingTime());
        limits.totalTimeoutMs = int(std::min<qint64>(limits.totalTimeoutMs, left));
        limits.timeoutMs = int(std::min<qint64>(limits.timeoutMs, left));
        QByteArray bytes;
        QElapsedTimer clock;
        clock.start();
        try {
            bytes = net::fetchBanner(url, limits);
        } catch (const Error &error) {
            add(Severity::Failure, QStringLiteral("banner"), nullptr, subject,
                QStringLiteral("every learner is shown this at start: %1").arg(error.message()));
            return;
        }
        const qint64 fetchMs = clock.elapsed();
        QSize size;
        try {
            image::decodePng(bytes, QSize(largestStripWidth, largestStripHeight));
            size = QSize(int(qFromBigEndian<quint32>(bytes.constData() + 16)), int(qFromBigEndian<quint32>(bytes.constData() + 20)));
        } catch (const Error &error) {
            add(Severity::Failure, QStringLiteral("banner"), nullptr, subject,
                QStringLiteral("every learner is shown this at start: %1").arg(error.message()));
            return;
        }
        const QString measured = QStringLiteral("%1 x %2 pixels, %3 kB, fetched in %4 ms")
                                     .arg(size.width()).arg(size.height()).arg((bytes.size() + 1023) / 1024).arg(fetchMs);
        if (size.width() > largestStripWidth || size.height() > largestStripHeight)
            add(Severity::Note, QStringLiteral("banner-size"), nullptr, subject,
                QStringLiteral("%1: larger than the largest strip any desktop shows (%2 x %3); every start fetches and checks all of it")
                    .arg(measured).arg(largestStripWidth).arg(largestStripHeight));
        else if (size.width() < designStripWidth || size.height() < designStripHeight)
            add(Severity::Note, QStringLiteral("banner-size"), nullptr, subject,
                QStringLiteral("%1: smaller than the strip at the window's first size (%2 x %3); learners see it with margins")
                    .arg(measured).arg(designStripWidth).arg(designStripHeight));
    }

    // Runs one of the program's statements; a failure is what every learner would meet.
    bool open(data::Query &query, const QString &sql)
    {
        try {
            query.open(sql);
            return true;
        } catch (const Error &error) {
            add(Severity::Failure, QStringLiteral("catalogue-query"), nullptr, sql, error.message());
            return false;
        }
    }

    void checkCatalogue()
    {
        data::Query temp(m_connection, QStringLiteral("Temp"));
        if (!open(temp, data::sql::q2Courses()))
            return;
        QList<Course> courses;
        for (; !temp.eof(); temp.next()) {
            Course c;
            c.name = temp.asString(QStringLiteral("cName"));
            if (!temp.isNull(QStringLiteral("cID")))
                c.id = temp.asString(QStringLiteral("cID"));
            if (!temp.isNull(QStringLiteral("ctID")))
                c.typeId = temp.asString(QStringLiteral("ctID"));
            try {
                c.readId = c.id ? parseInteger(*c.id) : 0;
            } catch (const Error &) {
                c.idFits = false;
            }
            courses.append(c);
        }
        m_result.courses = int(courses.size());

        // Course types, and which of them any course names.
        QSet<QString> typesInUse;
        for (const Course &c : courses) {
            if (!c.typeId)
                continue;
            try {
                typesInUse.insert(QString::number(parseInteger(*c.typeId)));
            } catch (const Error &) {
                add(Severity::Failure, QStringLiteral("id-range"), &c, QStringLiteral("ctID"),
                    QStringLiteral("the course's type id '%1' is not a 32-bit integer: the course is in no type's list").arg(*c.typeId));
            }
        }
        if (open(temp, data::sql::q4ClassTypes())) {
            for (; !temp.eof(); temp.next()) {
                const QString name = temp.asString(QStringLiteral("ctName"));
                const QString id = temp.isNull(QStringLiteral("ctID")) ? QString() : temp.asString(QStringLiteral("ctID"));
                checkCutText(name, nullptr, QStringLiteral("course type \"%1\"").arg(displayText(name)));
                qint32 readId = 0;
                try {
                    readId = parseInteger(id);
                } catch (const Error &) {
                    add(Severity::Failure, QStringLiteral("id-range"), nullptr, QStringLiteral("course type \"%1\"").arg(displayText(name)),
                        QStringLiteral("its id '%1' is not a 32-bit integer: the program cannot load the course types").arg(id));
                    continue;
                }
                if (!typesInUse.contains(QString::number(readId)))
                    add(Severity::Failure, QStringLiteral("type-without-course"), nullptr,
                        QStringLiteral("course type \"%1\"").arg(displayText(name)),
                        QStringLiteral("no course has this type: learners who choose it get an empty list"));
            }
        }

        // Same LSORT within a course, among the lessons a learner sees.
        QHash<QString, QHash<QString, QStringList>> sortsByCourse; // cID -> LSORT -> names
        if (open(temp, QStringLiteral("SELECT cID, LSORT, LName FROM lessons WHERE active = 1"))) {
            for (; !temp.eof(); temp.next()) {
                const QString sort = temp.isNull(QStringLiteral("LSORT")) ? QStringLiteral("NULL") : temp.asString(QStringLiteral("LSORT"));
                sortsByCourse[temp.asString(QStringLiteral("cID"))][sort].append(displayText(temp.asString(QStringLiteral("LName"))));
            }
        }

        for (const Course &c : courses) {
            checkCutText(c.name, &c, QStringLiteral("course name"));
            if (!c.idFits) {
                // No id the program can read: the finding belongs to the catalogue as a whole.
                add(Severity::Failure, QStringLiteral("id-range"), nullptr, QStringLiteral("course \"%1\" cID").arg(displayText(c.name)),
                    QStringLiteral("the id '%1' is not a 32-bit integer: the program cannot list the courses").arg(*c.id));
                continue;
            }
            if (!c.id) {
                add(Severity::Failure, QStringLiteral("id-missing"), &c, QStringLiteral("cID"),
                    QStringLiteral("the course has no id (NULL): the program reads it as 0 and shows no lessons"));
                continue;
            }
            data::Query lessons(m_connection, QStringLiteral("Temp"));
            if (!open(lessons, data::sql::q5Lessons(c.readId)))
                continue;
            int count = 0;
            for (; !lessons.eof(); lessons.next(), ++count) {
                const QString name = lessons.asString(QStringLiteral("LName"));
                checkCutText(name, &c, QStringLiteral("lesson \"%1\"").arg(displayText(name)));
                const QString link = lessons.asString(QStringLiteral("LLink"));
                auto it = m_linkIndex.find(link);
                if (it == m_linkIndex.end()) {
                    it = m_linkIndex.insert(link, int(m_result.links.size()));
                    LinkReport report;
                    report.link = link;
                    m_result.links.append(report);
                }
                LinkReport &report = m_result.links[*it];
                report.lessons.append(QStringLiteral("%1 / %2").arg(displayText(c.name), displayText(name)));
                report.courseIds.append(c.readId);
                m_linkPlayers[*it].append({ c, displayText(name) });
            }
            m_result.activeLessons += count;
            if (count == 0)
                add(Severity::Failure, QStringLiteral("course-without-lesson"), &c, QString(),
                    QStringLiteral("no active lesson: learners who choose it get an empty list"));
            const auto sorts = sortsByCourse.value(*c.id);
            for (auto s = sorts.begin(); s != sorts.end(); ++s) {
                if (s.value().size() > 1)
                    add(Severity::Failure, QStringLiteral("same-sort"), &c, QStringLiteral("LSORT %1").arg(s.key()),
                        QStringLiteral("%1 lessons share this place, so their order may change from one choice to the next: %2")
                            .arg(s.value().size()).arg(s.value().join(QStringLiteral(", "))));
            }
        }
    }

    void checkServer()
    {
        data::Query temp(m_connection, QStringLiteral("check"));
        const QString subject = QStringLiteral("lessons");
        try {
            temp.open(QStringLiteral("SHOW INDEX FROM lessons"));
            QMap<QString, QMap<int, QString>> indexes;
            for (; !temp.eof(); temp.next())
                indexes[temp.asString(QStringLiteral("Key_name"))][temp.asInteger(QStringLiteral("Seq_in_index"))]
                    = temp.asString(QStringLiteral("Column_name")).toLower();
            const bool found = std::any_of(indexes.begin(), indexes.end(), [](const QMap<int, QString> &columns) {
                return columns.value(1) == u"cid" && columns.value(2) == u"active" && columns.value(3) == u"lsort";
            });
            if (!found)
                add(Severity::Failure, QStringLiteral("server-index"), nullptr, subject,
                    QStringLiteral("no index on (cID, active, LSORT): every course choice reads all lessons of the school "
                                   "(add it: ALTER TABLE lessons ADD KEY lessons_of_course (cID, active, LSORT))"));
        } catch (const Error &error) {
            add(Severity::Note, QStringLiteral("server-index"), nullptr, subject,
                QStringLiteral("the indexes cannot be read with this account: %1").arg(error.message()));
        }
        try {
            temp.open(QStringLiteral("SELECT CURRENT_USER() AS account, @@max_user_connections AS account_limit, "
                                     "@@global.max_user_connections AS global_limit, @@max_connections AS server_limit"));
            const QString account = temp.asString(QStringLiteral("account"));
            QString text = QStringLiteral("at most %1 connections at once for this account (0: no limit of its own), "
                                          "%2 per account by default, %3 for the whole server")
                               .arg(temp.asString(QStringLiteral("account_limit")),
                                   temp.asString(QStringLiteral("global_limit")), temp.asString(QStringLiteral("server_limit")));
            temp.open(QStringLiteral("SHOW GRANTS"));
            // One column, named after the account: read each row's first.
            QStringList grants;
            for (const auto &row : temp.result().rows)
                grants << (row.empty() ? QString() : row.at(0).value_or(QString()));
            static const QRegularExpression pattern(QStringLiteral("MAX_(USER_CONNECTIONS|QUERIES_PER_HOUR|CONNECTIONS_PER_HOUR|UPDATES_PER_HOUR|STATEMENT_TIME) [0-9.]+"));
            QStringList limits;
            for (const QString &grant : grants) {
                auto it = pattern.globalMatch(grant);
                while (it.hasNext())
                    limits << it.next().captured(0);
            }
            if (!limits.isEmpty())
                text += QStringLiteral("; granted with ") + limits.join(u' ');
            add(Severity::Note, QStringLiteral("account-limits"), nullptr, account, text);
        } catch (const Error &error) {
            add(Severity::Note, QStringLiteral("account-limits"), nullptr, QString(),
                QStringLiteral("the account's limits cannot be read: %1").arg(error.message()));
        }
    }

    void checkLinks(const std::function<void(int, int)> &progress)
    {
        const int total = int(m_result.links.size());
        std::atomic<int> next { 0 };
        std::atomic<int> done { 0 };
        std::mutex progressMutex;
        const auto work = [&] {
            for (;;) {
                const int i = next.fetch_add(1);
                if (i >= total)
                    return;
                if (m_deadline.hasExpired())
                    continue; // left unchecked, reported below
                probeLink(m_result.links[i], m_limits.link, m_deadline);
                const int now = ++done;
                if (progress) {
                    std::lock_guard lock(progressMutex);
                    progress(now, total);
                }
            }
        };
        std::vector<std::thread> workers;
        const int count = std::min(m_options.jobs, total);
        for (int i = 0; i < count; ++i)
            workers.emplace_back(work);
        for (auto &worker : workers)
            worker.join();

        for (int i = 0; i < total; ++i)
            m_result.timedOut |= !m_result.links[i].checked;
        for (int i = 0; i < total; ++i)
            linkFindings(m_result.links[i], m_linkPlayers.value(i));
    }

    void linkFindings(const LinkReport &r, const QList<LinkPlayer> &players)
    {
        // Each finding about a link goes once to every course that plays it, with the
        // course's lessons that do.
        const auto report = [&](Severity severity, const QString &kind, const QString &message) {
            QHash<qint32, QStringList> lessonsOf;
            QList<const Course *> courses; // in the order met
            for (const LinkPlayer &player : players) {
                QStringList &lessons = lessonsOf[player.course.readId];
                if (lessons.isEmpty())
                    courses.append(&player.course);
                lessons.append(player.lesson);
            }
            for (const Course *course : courses)
                add(severity, kind, course,
                    QStringLiteral("%1 <%2>").arg(lessonsOf.value(course->readId).join(QStringLiteral(", ")), r.link),
                    message);
        };
        if (r.lessons.size() > 1)
            report(Severity::Note, QStringLiteral("link-shared"),
                QStringLiteral("%1 lessons play this link: %2").arg(r.lessons.size()).arg(r.lessons.join(QStringLiteral("; "))));
        const LinkCharacters characters = linkCharacters(r.link);
        if (!characters.changesAddress.isEmpty())
            report(Severity::Failure, QStringLiteral("link-characters"),
                QStringLiteral("the page carries the link as it stands, and the browser requests <%1>: %2")
                    .arg(browserAddress(r.link), characters.changesAddress.join(QStringLiteral("; "))));
        if (!characters.encoded.isEmpty())
            report(Severity::Note, QStringLiteral("link-characters"),
                QStringLiteral("the page carries the link as it stands: %1").arg(characters.encoded.join(QStringLiteral("; "))));
        if (!r.checked) {
            report(Severity::Failure, QStringLiteral("link-unchecked"),
                QStringLiteral("not checked: the time limit (--timeout %1) ended first").arg(m_options.timeoutSeconds));
            return;
        }
        if (!r.scheme.isEmpty() && r.scheme != u"http" && r.scheme != u"https") {
            report(Severity::Failure, QStringLiteral("link-scheme"),
                QStringLiteral("a %1: address; the player plays only http and https links").arg(r.scheme));
            return;
        }
        if (!r.error.isEmpty()) {
            report(Severity::Failure, QStringLiteral("link-unreachable"), r.error);
            return;
        }
        if (r.status != 200 && r.status != 206) {
            report(Severity::Failure, QStringLiteral("link-status"), QStringLiteral("HTTP status %1 after redirects").arg(r.status));
            return;
        }
        const QString type = r.contentType.section(u';', 0, 0).trimmed().toLower();
        if (!type.startsWith(u"video/") && !type.startsWith(u"audio/") && type != u"application/octet-stream"
            && type != u"application/mp4")
            report(Severity::Failure, QStringLiteral("link-type"),
                QStringLiteral("served as '%1', not as a video").arg(r.contentType.isEmpty() ? QStringLiteral("(no type)") : r.contentType));
        if (!r.ranges)
            report(Severity::Failure, QStringLiteral("link-ranges"),
                QStringLiteral("the server answers no byte ranges: learners cannot jump within the lesson%1")
                    .arg(r.indexFirst == false ? QStringLiteral(", and the whole file is fetched before it plays") : QString()));
        if (r.indexFirst == false)
            report(Severity::Failure, QStringLiteral("link-index-last"),
                QStringLiteral("the index (moov) comes after the media: playing starts only once the end of the file is fetched "
                               "(move it to the front, e.g. ffmpeg -c copy -movflags +faststart)"));
        if (!m_result.mediaProbeBuilt)
            return;
        if (!r.probed) {
            report(Severity::Failure, QStringLiteral("link-media"), QStringLiteral("the media could not be read: %1").arg(r.probeError));
            return;
        }
        if (!enginePlaysContainer(r.container))
            report(Severity::Failure, QStringLiteral("link-container"),
                QStringLiteral("the player does not play this container (%1)").arg(r.container));
        for (const QString &codec : { r.videoCodec, r.audioCodec }) {
            if (!codec.isEmpty() && !enginePlaysCodec(codec))
                report(Severity::Failure, QStringLiteral("link-codec"),
                    QStringLiteral("the player does not decode %1; learners see an empty view").arg(codec));
        }
        if (r.videoCodec.isEmpty())
            report(Severity::Note, QStringLiteral("link-no-picture"), QStringLiteral("the file has no picture, only sound"));
    }

    const CheckOptions &m_options;
    const CheckLimits &m_limits;
    data::Connection m_connection;
    QDeadlineTimer m_deadline;
    CheckResult m_result;
    QHash<QString, int> m_linkIndex;
    QHash<int, QList<LinkPlayer>> m_linkPlayers;
};

} // namespace

CheckResult runCheck(const CheckOptions &options, const CheckLimits &limits, const std::function<void(int, int)> &progress)
{
    Checker checker(options, limits);
    return checker.run(progress);
}

} // namespace orvy::check
