#pragma once

#include "check/findings.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

namespace orvy::check {

// Bounds of the requests made for one lesson link. Each request ends within
// requestTimeoutMs (and never after the whole check's deadline), reads at most what it
// asked for, and its header lines are bounded as the banner fetch bounds them.
struct LinkLimits {
    int connectTimeoutMs = 10000;
    int requestTimeoutMs = 20000;
    qint64 maxHeaderBytes = 64 * 1024;
    // The embedded browser follows up to 20 redirects; one more is a loop to it.
    int maxRedirects = 20;
    qint64 blockBytes = 64 * 1024; // one ranged read
    // What the probe may read of one file in all: headers of MP4 and WebM files take
    // a few hundred kB even for long lessons; never the media itself.
    qint64 maxProbeBytes = 8 * 1024 * 1024;
    int maxRequests = 64;
    QString caBundle; // trusted certificates (PEM file); empty: the system's
};

// The address the embedded browser requests for a link the player page carries as it
// stands: blanks and control characters at the ends dropped, tabs and line breaks
// inside dropped, "\" read as "/", the fragment after "#" not sent.
QString browserAddress(const QString &link);

// Characters of a stored link the page passes on as they stand, with what the browser
// makes of them; empty when there are none.
struct LinkCharacters {
    QStringList changesAddress; // the browser requests another address than the one stored
    QStringList encoded; // sent encoded or as they are (blanks, letters outside ASCII, a lone %): usually fine
};
LinkCharacters linkCharacters(const QString &link);

// Reads bytes of one media file, through byte ranges when the server answers them. All
// reads are bounded by LinkLimits and the deadline; a read past them fails.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual qint64 size() const = 0; // -1: unknown
    // Up to `length` bytes from `offset`; fewer at the end; empty with error() set on failure.
    virtual QByteArray read(qint64 offset, qint64 length) = 0;
    virtual QString error() const = 0;
};

// Checks one link: status after redirects, type, ranges, then the MP4 index position and
// the media probe. Fills `report`.
void probeLink(LinkReport &report, const LinkLimits &limits, const QDeadlineTimer &deadline);

// Whether the top-level boxes of an MP4 file put moov before mdat; nullopt when neither
// is found within the limits.
std::optional<bool> mp4IndexFirst(ByteSource &source);

} // namespace orvy::check
