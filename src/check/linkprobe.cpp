#include "check/linkprobe.h"

#include "check/mediaprobe.h"

#include <QUrl>
#include <algorithm>
#include <curl/curl.h>
#include <map>
#include <memory>

namespace orvy::check {

namespace {

bool isControl(char16_t c)
{
    return c < 0x20 || c == 0x7F;
}

// One answer to a ranged GET, its body bounded by what was asked for.
struct Answer {
    CURLcode code = CURLE_OK;
    QString error;
    long status = 0;
    QString effectiveUrl;
    QString contentType;
    qint64 totalSize = -1; // from Content-Range, else Content-Length of a whole answer
    QByteArray body;
};

struct Transfer {
    qint64 wanted = 0;
    qint64 headerBytes = 0;
    qint64 maxHeaderBytes = 0;
    bool headerOverflow = false;
    QByteArray body;
    qint64 rangeTotal = -1;
};

size_t onBody(char *data, size_t size, size_t count, void *userdata)
{
    auto *t = static_cast<Transfer *>(userdata);
    const qint64 bytes = qint64(size * count);
    const qint64 room = t->wanted - t->body.size();
    t->body.append(data, qsizetype(std::min(room, bytes)));
    // A server that ignores the range sends the whole file: stop once the part is here.
    return bytes <= room ? size_t(bytes) : 0;
}

size_t onHeader(char *data, size_t size, size_t count, void *userdata)
{
    auto *t = static_cast<Transfer *>(userdata);
    const size_t bytes = size * count;
    t->headerBytes += qint64(bytes);
    if (t->headerBytes > t->maxHeaderBytes) {
        t->headerOverflow = true;
        return 0;
    }
    const QByteArray line = QByteArray(data, qsizetype(bytes)).trimmed();
    if (line.startsWith("HTTP/")) // a new answer (after a redirect): forget the last one's
        t->rangeTotal = -1;
    const qsizetype colon = line.indexOf(':');
    if (colon > 0) {
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-range") {
            const qsizetype slash = value.lastIndexOf('/');
            bool ok = false;
            const qint64 total = slash >= 0 ? value.mid(slash + 1).toLongLong(&ok) : -1;
            if (ok)
                t->rangeTotal = total;
        }
    }
    return bytes;
}

using CurlEasy = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;

// Ranged GETs on one connection (kept alive between them).
class Requester {
public:
    Requester(const LinkLimits &limits, const QDeadlineTimer &deadline)
        : m_limits(limits)
        , m_deadline(deadline)
    {
    }

    Answer get(const QByteArray &url, qint64 from, qint64 length)
    {
        Answer answer;
        if (!m_easy.get()) {
            answer.code = CURLE_OUT_OF_MEMORY;
            answer.error = QStringLiteral("out of memory");
            return answer;
        }
        if (m_requests >= m_limits.maxRequests) {
            answer.code = CURLE_ABORTED_BY_CALLBACK;
            answer.error = QStringLiteral("more than %1 requests needed").arg(m_limits.maxRequests);
            return answer;
        }
        const qint64 left = m_deadline.remainingTime();
        if (left == 0) {
            answer.code = CURLE_OPERATION_TIMEDOUT;
            answer.error = QStringLiteral("the check's time limit was reached");
            return answer;
        }
        ++m_requests;
        const long timeoutMs = long(left < 0 ? m_limits.requestTimeoutMs : std::min<qint64>(left, m_limits.requestTimeoutMs));
        Transfer t;
        t.wanted = length;
        t.maxHeaderBytes = m_limits.maxHeaderBytes;
        const QByteArray range = QByteArray::number(from) + '-' + QByteArray::number(from + length - 1);
        CURL *e = m_easy.get();
        curl_easy_setopt(e, CURLOPT_URL, url.constData());
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, long(m_limits.maxRedirects));
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(e, CURLOPT_RANGE, range.constData());
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(std::min<qint64>(timeoutMs, m_limits.connectTimeoutMs)));
        curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, timeoutMs);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!m_limits.caBundle.isEmpty())
            curl_easy_setopt(e, CURLOPT_CAINFO, m_limits.caBundle.toLocal8Bit().constData());
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onBody);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
        curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeader);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
        curl_easy_setopt(e, CURLOPT_USERAGENT, "orvyclass-check");

        answer.code = curl_easy_perform(e);
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &answer.status);
        char *effective = nullptr;
        curl_easy_getinfo(e, CURLINFO_EFFECTIVE_URL, &effective);
        answer.effectiveUrl = QString::fromUtf8(effective ? effective : "");
        char *type = nullptr;
        curl_easy_getinfo(e, CURLINFO_CONTENT_TYPE, &type);
        answer.contentType = QString::fromUtf8(type ? type : "");
        curl_off_t declared = -1;
        curl_easy_getinfo(e, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
        answer.totalSize = answer.status == 206 ? t.rangeTotal : (answer.status == 200 ? declared : -1);
        answer.body = t.body;
        m_bodyBytes += t.body.size();
        // Stopping a body that ran past the range is this side's choice, not a failure.
        if (answer.code == CURLE_WRITE_ERROR && t.body.size() == length)
            answer.code = CURLE_OK;
        if (t.headerOverflow)
            answer.error = QStringLiteral("header lines over %1 kB").arg(m_limits.maxHeaderBytes / 1024);
        else if (answer.code == CURLE_TOO_MANY_REDIRECTS)
            answer.error = QStringLiteral("more than %1 redirects (a redirect loop?)").arg(m_limits.maxRedirects);
        else if (answer.code == CURLE_OPERATION_TIMEDOUT)
            answer.error = QStringLiteral("no answer within %1 s").arg(double(timeoutMs) / 1000.0, 0, 'g', 3);
        else if (answer.code != CURLE_OK)
            answer.error = QString::fromUtf8(curl_easy_strerror(answer.code));
        return answer;
    }

    qint64 bodyBytes() const { return m_bodyBytes; }

private:
    const LinkLimits &m_limits;
    const QDeadlineTimer &m_deadline;
    CurlEasy m_easy { curl_easy_init(), curl_easy_cleanup };
    int m_requests = 0;
    qint64 m_bodyBytes = 0;
};

// The file in blocks, fetched by range as they are first read, within the probe's budget.
class HttpSource : public ByteSource {
public:
    HttpSource(Requester &requester, QByteArray url, qint64 size, bool ranges, const LinkLimits &limits)
        : m_requester(requester)
        , m_url(std::move(url))
        , m_size(size)
        , m_ranges(ranges)
        , m_limits(limits)
    {
    }

    void seed(qint64 block, const QByteArray &bytes) { m_blocks[block] = bytes; m_held += bytes.size(); }
    qint64 size() const override { return m_size; }
    QString error() const override { return m_error; }

    QByteArray read(qint64 offset, qint64 length) override
    {
        QByteArray out;
        if (offset < 0 || length <= 0 || (m_size >= 0 && offset >= m_size))
            return out;
        if (m_size >= 0)
            length = std::min(length, m_size - offset);
        const qint64 blockBytes = m_limits.blockBytes;
        while (out.size() < length) {
            const qint64 position = offset + out.size();
            const qint64 block = position / blockBytes;
            auto it = m_blocks.find(block);
            if (it == m_blocks.end()) {
                if (!m_ranges) {
                    m_error = QStringLiteral("the server answers no byte ranges");
                    return {};
                }
                if (m_held + blockBytes > m_limits.maxProbeBytes) {
                    m_error = QStringLiteral("the header needs more than %1 MB").arg(m_limits.maxProbeBytes >> 20);
                    return {};
                }
                const Answer answer = m_requester.get(m_url, block * blockBytes, blockBytes);
                if (!answer.error.isEmpty() || answer.status != 206) {
                    m_error = !answer.error.isEmpty()
                        ? answer.error
                        : QStringLiteral("a byte range was answered with status %1").arg(answer.status);
                    return {};
                }
                it = m_blocks.emplace(block, answer.body).first;
                m_held += answer.body.size();
            }
            const qint64 within = position - block * blockBytes;
            if (within >= it->second.size())
                break; // the end of the file
            out.append(it->second.mid(within, std::min<qint64>(length - out.size(), it->second.size() - within)));
        }
        return out;
    }

private:
    Requester &m_requester;
    QByteArray m_url;
    qint64 m_size;
    bool m_ranges;
    const LinkLimits &m_limits;
    std::map<qint64, QByteArray> m_blocks;
    qint64 m_held = 0;
    QString m_error;
};

quint64 bigEndian(const QByteArray &bytes, qsizetype at, int width)
{
    quint64 value = 0;
    for (int i = 0; i < width; ++i)
        value = (value << 8) | quint8(bytes.at(at + i));
    return value;
}

} // namespace

QString browserAddress(const QString &link)
{
    qsizetype begin = 0;
    qsizetype end = link.size();
    while (begin < end && link.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && link.at(end - 1).unicode() <= 0x20)
        --end;
    QString address;
    for (qsizetype i = begin; i < end; ++i) {
        const QChar c = link.at(i);
        if (c == u'\t' || c == u'\n' || c == u'\r')
            continue;
        if (c == u'#')
            break;
        address += c == u'\\' ? QChar(u'/') : c;
    }
    return address;
}

LinkCharacters linkCharacters(const QString &link)
{
    LinkCharacters found;
    const QString trimmed = link.trimmed();
    if (trimmed.size() != link.size())
        found.encoded << QStringLiteral("blanks at its start or end (dropped)");
    bool control = false;
    bool backslash = false;
    bool hash = false;
    bool blank = false;
    bool nonAscii = false;
    bool badPercent = false;
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const char16_t c = trimmed.at(i).unicode();
        control |= isControl(c);
        backslash |= c == u'\\';
        hash |= c == u'#';
        blank |= c == u' ';
        nonAscii |= c > 0x7F;
        if (c == u'%') {
            const auto hex = [&](qsizetype j) {
                return j < trimmed.size() && isxdigit(trimmed.at(j).unicode() < 0x80 ? int(trimmed.at(j).unicode()) : 0);
            };
            badPercent |= !(hex(i + 1) && hex(i + 2));
        }
    }
    if (control)
        found.changesAddress << QStringLiteral("control characters (tabs and line breaks are dropped)");
    if (backslash)
        found.changesAddress << QStringLiteral("\"\\\" (read as \"/\")");
    if (hash)
        found.changesAddress << QStringLiteral("\"#\" (what follows it is not sent)");
    if (blank)
        found.encoded << QStringLiteral("blanks (sent as %20)");
    if (nonAscii)
        found.encoded << QStringLiteral("letters outside ASCII (sent as UTF-8, percent-encoded)");
    if (badPercent)
        found.encoded << QStringLiteral("\"%\" not followed by two hex digits (sent as it is; some servers refuse it)");
    return found;
}

std::optional<bool> mp4IndexFirst(ByteSource &source)
{
    qint64 position = 0;
    for (int box = 0; box < 64; ++box) {
        const QByteArray head = source.read(position, 16);
        if (head.size() < 8)
            return std::nullopt;
        quint64 size = bigEndian(head, 0, 4);
        const QByteArray type = head.mid(4, 4);
        if (type == "moov")
            return true;
        if (type == "mdat")
            return false;
        if (size == 1) {
            if (head.size() < 16)
                return std::nullopt;
            size = bigEndian(head, 8, 8);
        }
        if (size < 8)
            return std::nullopt; // 0 (to the end) without either box, or a broken size
        position += qint64(size);
    }
    return std::nullopt;
}

void probeLink(LinkReport &report, const LinkLimits &limits, const QDeadlineTimer &deadline)
{
    report.checked = true;
    const QString address = browserAddress(report.link);
    const QUrl url(address, QUrl::TolerantMode);
    report.scheme = url.scheme().toLower();
    if (report.scheme != u"http" && report.scheme != u"https") {
        report.error = address.isEmpty() ? QStringLiteral("no link")
                                         : QStringLiteral("not an http or https address");
        return;
    }
    const QByteArray target = url.toEncoded();
    Requester requester(limits, deadline);
    const Answer first = requester.get(target, 0, limits.blockBytes);
    report.bytesRead = requester.bodyBytes();
    report.status = first.status;
    report.finalUrl = first.effectiveUrl;
    report.contentType = first.contentType;
    if (!first.error.isEmpty()) {
        report.error = first.error;
        return;
    }
    if (first.status != 200 && first.status != 206)
        return;
    report.ranges = first.status == 206;
    report.size = first.totalSize;

    HttpSource source(requester, report.finalUrl.toUtf8(), report.size, report.ranges, limits);
    // The first answer's body is the file's first block (or, without ranges, its start).
    source.seed(0, first.body);
    if (first.body.size() >= 8 && first.body.mid(4, 4) == "ftyp")
        report.indexFirst = mp4IndexFirst(source);
    if (mediaProbeBuilt())
        probeMedia(source, report, deadline);
    report.bytesRead = requester.bodyBytes();
}

} // namespace orvy::check
