#include "check/report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

namespace orvy::check {

int exitStatus(const CheckResult &result)
{
    return result.hasFailures() ? 1 : 0;
}

QString textReport(const CheckResult &result)
{
    // -1 (the catalogue as a whole) sorts first.
    QMap<qint64, QList<const Finding *>> byCourse;
    for (const Finding &f : result.findings)
        byCourse[f.courseId].append(&f);
    QString out;
    int failures = 0;
    int notes = 0;
    for (auto it = byCourse.begin(); it != byCourse.end(); ++it) {
        const Finding &first = *it.value().first();
        out += it.key() < 0 ? QStringLiteral("Catalogue\n")
                            : QStringLiteral("Course %1 \"%2\"\n").arg(it.key()).arg(first.courseName);
        for (const auto severity : { Finding::Severity::Failure, Finding::Severity::Note }) {
            for (const Finding *f : it.value()) {
                if (f->severity != severity)
                    continue;
                const bool failure = severity == Finding::Severity::Failure;
                (failure ? failures : notes)++;
                out += QStringLiteral("  %1 [%2] %3%4\n")
                           .arg(failure ? QStringLiteral("FAIL") : QStringLiteral("note"), f->kind,
                               f->subject.isEmpty() ? QString() : f->subject + QStringLiteral(": "), f->message);
            }
        }
        out += u'\n';
    }
    int playable = 0;
    for (const LinkReport &l : result.links)
        playable += l.checked && l.error.isEmpty() && (l.status == 200 || l.status == 206) ? 1 : 0;
    out += QStringLiteral("%1 courses, %2 active lessons, %3 distinct links (%4 answered)%5; %6 failures, %7 notes.\n")
               .arg(result.courses)
               .arg(result.activeLessons)
               .arg(result.links.size())
               .arg(playable)
               .arg(result.mediaProbeBuilt ? QString() : QStringLiteral(", media not probed"))
               .arg(failures)
               .arg(notes);
    out += failures == 0 ? QStringLiteral("Nothing a learner would meet.\n")
                         : QStringLiteral("Learners would meet the failures above.\n");
    return out;
}

QByteArray jsonReport(const CheckResult &result)
{
    QJsonArray findings;
    for (const Finding &f : result.findings) {
        QJsonObject o {
            { QStringLiteral("severity"),
                f.severity == Finding::Severity::Failure ? QStringLiteral("failure") : QStringLiteral("note") },
            { QStringLiteral("kind"), f.kind },
            { QStringLiteral("subject"), f.subject },
            { QStringLiteral("message"), f.message },
        };
        if (f.courseId >= 0) {
            o.insert(QStringLiteral("courseId"), f.courseId);
            o.insert(QStringLiteral("course"), f.courseName);
        }
        findings.append(o);
    }
    QJsonArray links;
    for (const LinkReport &l : result.links) {
        QJsonObject o { { QStringLiteral("link"), l.link }, { QStringLiteral("lessons"), QJsonArray::fromStringList(l.lessons) },
            { QStringLiteral("checked"), l.checked } };
        if (l.checked) {
            o.insert(QStringLiteral("status"), qint64(l.status));
            o.insert(QStringLiteral("finalUrl"), l.finalUrl);
            o.insert(QStringLiteral("contentType"), l.contentType);
            o.insert(QStringLiteral("ranges"), l.ranges);
            o.insert(QStringLiteral("size"), l.size);
            o.insert(QStringLiteral("bytesRead"), l.bytesRead);
            if (!l.error.isEmpty())
                o.insert(QStringLiteral("error"), l.error);
            if (l.indexFirst)
                o.insert(QStringLiteral("indexFirst"), *l.indexFirst);
            o.insert(QStringLiteral("probed"), l.probed);
            if (l.probed) {
                o.insert(QStringLiteral("container"), l.container);
                o.insert(QStringLiteral("videoCodec"), l.videoCodec);
                o.insert(QStringLiteral("audioCodec"), l.audioCodec);
                o.insert(QStringLiteral("durationSeconds"), l.durationSeconds);
                o.insert(QStringLiteral("bitrate"), l.bitrate);
            } else if (!l.probeError.isEmpty()) {
                o.insert(QStringLiteral("probeError"), l.probeError);
            }
        }
        links.append(o);
    }
    const QJsonObject root { { QStringLiteral("exitStatus"), exitStatus(result) },
        { QStringLiteral("mediaProbed"), result.mediaProbeBuilt }, { QStringLiteral("timedOut"), result.timedOut },
        { QStringLiteral("courses"), result.courses }, { QStringLiteral("activeLessons"), result.activeLessons },
        { QStringLiteral("findings"), findings }, { QStringLiteral("links"), links } };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

} // namespace orvy::check
