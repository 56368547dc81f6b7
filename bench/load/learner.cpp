#include "learner.h"

#include "data/connection.h"
#include "data/dberror.h"
#include "data/interfacequery.h"
#include "data/query.h"
#include "data/querytexts.h"

#include <QList>
#include <optional>
#include <random>
#include <thread>

namespace orvy::bench {

namespace {

double msSince(Clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// Counts the connection as open from its first use to the end of the visit.
class OpenScope {
public:
    explicit OpenScope(OpenCount &count)
        : m_count(count)
    {
        const int now = ++m_count.now;
        int peak = m_count.peak.load();
        while (now > peak && !m_count.peak.compare_exchange_weak(peak, now)) { }
    }
    ~OpenScope() { --m_count.now; }
    OpenScope(const OpenScope &) = delete;
    OpenScope &operator=(const OpenScope &) = delete;

private:
    OpenCount &m_count;
};

// The branding the window reads from Q1's row; reading is client-side work only.
void readBranding(const data::InterfaceQuery &interfaceQ)
{
    for (const char *column :
        { "intPics", "intLBL1", "intLBL2", "intLBL3", "intLBLPhone", "intLBLOrvy", "intLBLInsta", "fbLink" })
        (void)interfaceQ.asString(QLatin1String(column));
    for (const char *column : { "lblColor1", "lblColor2", "lblColor3" })
        (void)interfaceQ.asInteger(QLatin1String(column));
}

QList<qint32> readCourses(data::Query &temp)
{
    QList<qint32> ids;
    for (; !temp.eof(); temp.next()) {
        (void)temp.asString(QStringLiteral("cName"));
        ids.append(temp.asInteger(QStringLiteral("cID")));
    }
    return ids;
}

} // namespace

VisitResult runVisit(const data::DbSettings &settings, const Visit &visit, OpenCount &open)
{
    VisitResult result;
    if (visit.arrival > visit.deadline)
        return result;
    std::this_thread::sleep_until(visit.arrival);
    result.ran = true;
    std::mt19937 random(visit.seed);

    data::Connection adoCon(settings);
    data::InterfaceQuery interfaceQ(adoCon);
    data::Query temp(adoCon, QStringLiteral("Temp"));
    QList<qint32> courses;
    std::optional<OpenScope> counted;
    try {
        interfaceQ.close();
        interfaceQ.open(); // opens the connection
        counted.emplace(open);
        readBranding(interfaceQ);
        // The window fetches the banner here; that is the web server's load, not this one's.
        adoCon.open();
        temp.close();
        temp.open(data::sql::q2Courses());
        courses = readCourses(temp);
        temp.close();
        temp.open(data::sql::q2Courses());
        (void)readCourses(temp);
        temp.close();
        temp.open(data::sql::q4ClassTypes());
        for (; !temp.eof(); temp.next()) {
            (void)temp.asString(QStringLiteral("ctName"));
            (void)temp.asInteger(QStringLiteral("ctID"));
        }
        result.startedAt = Clock::now();
        result.startMs = msSince(visit.arrival);
        result.started = true;
    } catch (const data::DbError &error) {
        result.failedAt = Clock::now();
        result.refusal = error.clientError();
        result.refusalText = error.message();
        return result;
    }

    std::uniform_real_distribution<double> pause(0.5 * visit.thinkMs, 1.5 * visit.thinkMs);
    for (int i = 0; i < visit.choices && !courses.isEmpty(); ++i) {
        const auto wake = Clock::now() + std::chrono::microseconds(qint64(pause(random) * 1000));
        if (wake > visit.deadline)
            break;
        std::this_thread::sleep_until(wake);
        const qint32 course = courses.at(qsizetype(random() % quint32(courses.size())));
        const Clock::time_point asked = Clock::now();
        try {
            temp.close();
            temp.close();
            temp.open(data::sql::q5Lessons(course));
            for (; !temp.eof(); temp.next()) {
                (void)temp.asString(QStringLiteral("LName"));
                (void)temp.asString(QStringLiteral("LLink"));
            }
            result.choiceMs.push_back(msSince(asked));
        } catch (const data::DbError &error) {
            // The program reports it and goes on; the learner here leaves.
            result.choiceFailed = true;
            result.failedAt = Clock::now();
            result.choiceError = error.clientError();
            result.choiceErrorText = error.message();
            break;
        }
    }
    return result;
}

} // namespace orvy::bench
