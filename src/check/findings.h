#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace orvy::check {

// One thing the check found. A failure is what a learner would meet (a lesson that does
// not play, a cut text, an empty list); a note is worth knowing but meets no learner.
struct Finding {
    enum class Severity { Failure, Note };
    Severity severity = Severity::Failure;
    QString kind; // stable, for scripts: "link-status", "text-cut", ...
    qint64 courseId = -1; // the course it belongs to; -1: the catalogue as a whole
    QString courseName; // as the learner sees it (cut)
    QString subject; // the lesson, field or link it is about
    QString message;
};

// What was learnt about one lesson link (each distinct link once).
struct LinkReport {
    QString link; // as stored
    QList<QString> lessons; // "course / lesson", every active lesson that plays it
    QList<qint64> courseIds;
    bool checked = false; // false: not reached before the time limit
    QString error; // the request failed (no answer, too many redirects, ...)
    QString scheme;
    long status = 0; // after redirects
    QString finalUrl;
    QString contentType;
    bool ranges = false; // a byte range was answered with 206
    qint64 size = -1; // bytes, when the server said
    // The media probe.
    bool probed = false;
    QString probeError;
    QString container;
    QString videoCodec;
    QString audioCodec;
    double durationSeconds = 0;
    qint64 bitrate = 0; // bits per second over the whole file
    std::optional<bool> indexFirst; // MP4: the moov box before the media data
    qint64 bytesRead = 0; // body bytes fetched for this link, all requests
};

struct CheckResult {
    QList<Finding> findings;
    QList<LinkReport> links;
    bool mediaProbeBuilt = false;
    bool timedOut = false; // the total time limit ended the link checks
    int courses = 0;
    int activeLessons = 0;

    bool hasFailures() const;
};

} // namespace orvy::check
