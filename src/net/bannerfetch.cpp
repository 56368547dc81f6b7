#include "net/bannerfetch.h"

#include "core/error.h"
#include "core/eventwait.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QNetworkProxyFactory>
#include <QUrl>
#include <algorithm>
#include <array>
#include <curl/curl.h>

namespace orvy::net {

namespace {

// Owning wrappers: every libcurl handle is released on every path, throw included.

class CurlGlobal {
public:
    CurlGlobal() { m_code = curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
    CURLcode code() const { return m_code; }

private:
    CURLcode m_code;
};

// A handle made by Make and released by Free.
template<typename Handle, Handle *(*Make)(), auto Free> class CurlHandle {
public:
    CurlHandle()
        : m_handle(Make())
    {
    }
    ~CurlHandle() { Free(m_handle); }
    CurlHandle(const CurlHandle &) = delete;
    CurlHandle &operator=(const CurlHandle &) = delete;
    Handle *get() const { return m_handle; }

private:
    Handle *m_handle;
};

using CurlEasy = CurlHandle<CURL, curl_easy_init, curl_easy_cleanup>;
using CurlMulti = CurlHandle<CURLM, curl_multi_init, curl_multi_cleanup>;
using CurlUrl = CurlHandle<CURLU, curl_url, curl_url_cleanup>;

// An easy handle attached to a multi handle for one transfer.
class CurlAttachment {
public:
    CurlAttachment(CURLM *multi, CURL *easy)
        : m_multi(multi)
        , m_easy(easy)
        , m_code(curl_multi_add_handle(multi, easy))
    {
    }
    ~CurlAttachment()
    {
        if (m_code == CURLM_OK)
            curl_multi_remove_handle(m_multi, m_easy);
    }
    CurlAttachment(const CurlAttachment &) = delete;
    CurlAttachment &operator=(const CurlAttachment &) = delete;
    CURLMcode code() const { return m_code; }

private:
    CURLM *m_multi;
    CURL *m_easy;
    CURLMcode m_code;
};

class CurlHeaders {
public:
    CurlHeaders() = default;
    ~CurlHeaders() { curl_slist_free_all(m_list); }
    CurlHeaders(const CurlHeaders &) = delete;
    CurlHeaders &operator=(const CurlHeaders &) = delete;
    bool append(const char *line)
    {
        curl_slist *grown = curl_slist_append(m_list, line);
        if (!grown)
            return false;
        m_list = grown;
        return true;
    }
    curl_slist *get() const { return m_list; }

private:
    curl_slist *m_list = nullptr;
};

class CurlString {
public:
    CurlString() = default;
    ~CurlString() { curl_free(m_text); }
    CurlString(const CurlString &) = delete;
    CurlString &operator=(const CurlString &) = delete;
    char **out() { return &m_text; }
    QByteArray bytes() const { return QByteArray(m_text); }

private:
    char *m_text = nullptr;
};

// Where a transfer failed, for the message the user sees.
enum class Stage { Sending, Receiving, Reading };

// What the callbacks learn about the current answer.
struct Transfer {
    CURL *easy = nullptr;
    qint64 maxBodyBytes = 0;
    qint64 maxHeaderBytes = 0;
    qint64 headerBytes = 0; // over the whole fetch, every hop
    QElapsedTimer clock;
    qint64 lastActivityMs = 0;
    bool requestStarted = false; // the connection is up, the request goes out
    bool headersDone = false; // the final answer's header block has arrived
    bool tooLarge = false; // the body passed maxBodyBytes
    bool tooManyHeaderBytes = false; // the header and trailer lines passed maxHeaderBytes
    bool outOfTime = false; // the whole fetch's deadline has passed
    QByteArray body;

    void touch() { lastActivityMs = clock.elapsed(); }
};

size_t onBody(char *data, size_t size, size_t count, void *userdata)
{
    auto *t = static_cast<Transfer *>(userdata);
    const size_t bytes = size * count;
    const qint64 needed = qint64(t->body.size()) + qint64(bytes);
    if (needed > t->maxBodyBytes) {
        t->tooLarge = true;
        return 0; // ends the transfer
    }
    try {
        // Grow geometrically, but never beyond the limit.
        if (needed > t->body.capacity())
            t->body.reserve(
                qsizetype(std::min(std::max(needed, 2 * qint64(t->body.capacity())), t->maxBodyBytes)));
        t->body.append(data, qsizetype(bytes));
    } catch (...) {
        return 0; // libcurl reports a write error
    }
    t->touch();
    return bytes;
}

size_t onHeader(char *data, size_t size, size_t count, void *userdata)
{
    auto *t = static_cast<Transfer *>(userdata);
    const size_t bytes = size * count;
    t->headerBytes += qint64(bytes);
    if (t->headerBytes > t->maxHeaderBytes) {
        t->tooManyHeaderBytes = true;
        return 0; // ends the transfer
    }
    t->touch();
    if (bytes == 2 && data[0] == '\r' && data[1] == '\n') {
        // The blank line ends a header block; an interim 1xx block is not the answer.
        long status = 0;
        curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 200)
            t->headersDone = true;
    }
    return bytes;
}

int onRequestStart(void *userdata, char *, char *, int, int)
{
    auto *t = static_cast<Transfer *>(userdata);
    t->requestStarted = true;
    t->touch();
    return CURL_PREREQFUNC_OK;
}

QString libraryText(CURLcode code)
{
    QString text = QString::fromUtf8(curl_easy_strerror(code));
    while (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

[[noreturn]] void throwInvalidUrl(const QString &url)
{
    throw Error(QStringLiteral("Invalid URL: \"%1\"").arg(url));
}

QString transferMessage(Stage stage, CURLcode code)
{
    QString pattern;
    switch (stage) {
    case Stage::Sending:
        pattern = QStringLiteral("Error sending data: (%1) %2");
        break;
    case Stage::Receiving:
        pattern = QStringLiteral("Error receiving data: (%1) %2");
        break;
    case Stage::Reading:
        pattern = QStringLiteral("Error reading data: (%1) %2");
        break;
    }
    return pattern.arg(QString::number(int(code)), libraryText(code));
}

// A network failure; one on the way through a proxy names it, as the proxy may be
// what failed.
[[noreturn]] void throwTransferError(Stage stage, CURLcode code, const QByteArray &proxy = {})
{
    if (proxy.isEmpty())
        throw Error(transferMessage(stage, code));
    throw Error(QStringLiteral("%1 (through the proxy %2)")
                    .arg(transferMessage(stage, code), QString::fromUtf8(proxy)));
}

QString sizeText(qint64 bytes)
{
    constexpr qint64 KiB = 1024;
    constexpr qint64 MiB = 1024 * KiB;
    if (bytes % MiB == 0)
        return QStringLiteral("%1 MB").arg(bytes / MiB);
    if (bytes % KiB == 0)
        return QStringLiteral("%1 KB").arg(bytes / KiB);
    return QStringLiteral("%1 bytes").arg(bytes);
}

[[noreturn]] void throwTooLarge(qint64 maxBodyBytes)
{
    throw Error(QStringLiteral("%1 (a banner may be at most %2)")
                    .arg(transferMessage(Stage::Reading, CURLE_FILESIZE_EXCEEDED), sizeText(maxBodyBytes)));
}

// libcurl's own word for a header block over its limit, with ours.
[[noreturn]] void throwTooManyHeaderBytes(Stage stage, qint64 maxHeaderBytes)
{
    throw Error(QStringLiteral("%1 (header lines may be at most %2 in all)")
                    .arg(transferMessage(stage, CURLE_RECV_ERROR), sizeText(maxHeaderBytes)));
}

// Checks that url is an absolute http or https address and returns it in the form
// libcurl is given; throws the invalid-URL message otherwise. Spaces and non-ASCII
// characters in the path are percent-encoded rather than refused.
QByteArray checkedUrl(const QString &url, const QString &shownAs)
{
    if (url.trimmed().isEmpty())
        throwInvalidUrl(shownAs);
    CurlUrl parsed;
    if (!parsed.get())
        throw Error(QStringLiteral("Out of memory"));
    // No scheme guessing: "example.com/banner.png" is not an address.
    if (curl_url_set(
            parsed.get(), CURLUPART_URL, url.toUtf8().constData(), CURLU_NON_SUPPORT_SCHEME | CURLU_URLENCODE)
        != CURLUE_OK)
        throwInvalidUrl(shownAs);
    CurlString scheme;
    CurlString full;
    if (curl_url_get(parsed.get(), CURLUPART_SCHEME, scheme.out(), 0) != CURLUE_OK
        || curl_url_get(parsed.get(), CURLUPART_URL, full.out(), 0) != CURLUE_OK)
        throwInvalidUrl(shownAs);
    const QByteArray lower = scheme.bytes().toLower();
    if (lower != "http" && lower != "https")
        throwInvalidUrl(shownAs);
    return full.bytes();
}

// The proxy for one address, as libcurl takes it.
struct Proxy {
    QByteArray address; // "http://host:port" or "socks5h://host:port"; empty: no proxy
    QByteArray user;
    QByteArray password;
};

// The proxy the system names for url: on Windows the user's and the machine's settings,
// automatic configuration included; elsewhere the desktop's settings where Qt can read
// them, and the environment. The first answer libcurl can use decides, "direct"
// included; none at all means direct.
Proxy systemProxyFor(const QByteArray &url)
{
    const QList<QNetworkProxy> answers
        = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(QUrl::fromEncoded(url)));
    for (const QNetworkProxy &answer : answers) {
        QUrl address;
        int defaultPort = 0;
        switch (answer.type()) {
        case QNetworkProxy::NoProxy:
            return {};
        case QNetworkProxy::HttpProxy:
        case QNetworkProxy::HttpCachingProxy:
            address.setScheme(QStringLiteral("http"));
            defaultPort = 80;
            break;
        case QNetworkProxy::Socks5Proxy:
            address.setScheme(QStringLiteral("socks5h")); // names resolved by the proxy
            defaultPort = 1080;
            break;
        default:
            continue;
        }
        if (answer.hostName().isEmpty())
            continue;
        address.setHost(answer.hostName());
        // A setting without a port ("http_proxy=http://proxy.example") means the scheme's.
        address.setPort(answer.port() != 0 ? answer.port() : defaultPort);
        return { address.toEncoded(), answer.user().toUtf8(), answer.password().toUtf8() };
    }
    return {};
}

// Sends the next request through proxy, or directly when it is empty. Set explicitly
// either way, so that libcurl's own reading of the environment never overrules it.
bool useProxy(CURL *easy, const Proxy &proxy)
{
    const auto textOrNull
        = [](const QByteArray &text) { return text.isEmpty() ? nullptr : text.constData(); };
    bool ok = curl_easy_setopt(easy, CURLOPT_PROXY, proxy.address.constData()) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_NOPROXY, "") == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, textOrNull(proxy.user)) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, textOrNull(proxy.password)) == CURLE_OK;
    // With a name and password, whatever scheme the proxy asks for.
    return ok
        && curl_easy_setopt(easy, CURLOPT_PROXYAUTH, proxy.user.isEmpty() ? CURLAUTH_BASIC : CURLAUTH_ANY)
        == CURLE_OK;
}

bool isRedirect(long status)
{
    static constexpr std::array<long, 6> followed { 300, 301, 302, 303, 307, 308 };
    return std::find(followed.begin(), followed.end(), status) != followed.end();
}

void setup(CURL *easy, Transfer &transfer, const CurlHeaders &headers, const FetchLimits &limits)
{
    bool ok = curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
    // Redirects are followed here, one hop at a time, to keep to the listed statuses.
    ok = ok && curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1)) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK;
    // The same headers for a proxy, the tunnel's CONNECT request included.
    ok = ok && curl_easy_setopt(easy, CURLOPT_HEADEROPT, long(CURLHEADER_UNIFIED)) == CURLE_OK;
    // An empty name switches on the cookie engine with nothing loaded and nothing saved.
    ok = ok && curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "") == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2)) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
    if (!limits.caBundle.isEmpty())
        ok = ok
            && curl_easy_setopt(easy, CURLOPT_CAINFO, limits.caBundle.toLocal8Bit().constData()) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(limits.timeoutMs)) == CURLE_OK;
    // A declared length over the limit ends the transfer before any of the body; onBody
    // counts what actually arrives.
    ok = ok && curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(limits.maxBodyBytes)) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, onRequestStart) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_PREREQDATA, &transfer) == CURLE_OK;
    if (!ok)
        throwTransferError(Stage::Sending, CURLE_FAILED_INIT);
}

// Runs one request on easy. Limited are the connection set-up (libcurl's connect
// time-out), each silence once the request is under way, and the whole fetch: the
// last two are watched here, to the millisecond.
CURLcode perform(CURLM *multi, CURL *easy, Transfer &transfer, int timeoutMs, const QDeadlineTimer &deadline)
{
    CurlAttachment attachment(multi, easy);
    if (attachment.code() != CURLM_OK)
        return CURLE_OUT_OF_MEMORY;
    transfer.clock.start();
    transfer.touch();
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK)
            return CURLE_OUT_OF_MEMORY;
        if (running == 0)
            break;
        const qint64 leftMs = deadline.remainingTime();
        if (leftMs == 0) {
            transfer.outOfTime = true;
            return CURLE_OPERATION_TIMEDOUT;
        }
        int waitMs = leftMs < 0 ? 1000 : int(std::min<qint64>(1000, leftMs)); // < 0: no deadline
        if (transfer.requestStarted) {
            const qint64 silentMs = transfer.clock.elapsed() - transfer.lastActivityMs;
            if (silentMs >= timeoutMs)
                return CURLE_OPERATION_TIMEDOUT;
            waitMs = int(std::min<qint64>(waitMs, timeoutMs - silentMs));
        }
        if (curl_multi_poll(multi, nullptr, 0, waitMs, nullptr) != CURLM_OK)
            return CURLE_OUT_OF_MEMORY;
    }
    int queued = 0;
    while (CURLMsg *message = curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
            return message->data.result;
    }
    return CURLE_FAILED_INIT;
}

bool isCertificateFailure(CURLcode code)
{
    return code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_ISSUER_ERROR
        || code == CURLE_SSL_PINNEDPUBKEYNOTMATCH || code == CURLE_SSL_INVALIDCERTSTATUS;
}

Stage stageOf(CURLcode code, const Transfer &transfer)
{
    if (transfer.headersDone)
        return Stage::Reading;
    if (code == CURLE_SEND_ERROR || !transfer.requestStarted)
        return Stage::Sending; // resolving, connecting, the secure channel, the request itself
    return Stage::Receiving;
}

} // namespace

QByteArray fetchBanner(const QString &url, const FetchLimits &limits)
{
    static const CurlGlobal global;
    if (global.code() != CURLE_OK)
        throwTransferError(Stage::Sending, global.code());

    QString current = url;
    QByteArray target = checkedUrl(url, url);

    CurlEasy easy;
    CurlMulti multi;
    CurlHeaders headers;
    if (!easy.get() || !multi.get()
        || !headers.append("User-Agent: Embarcadero URI Client/1.0")
        // An empty value removes the "Accept: */*" libcurl would add, and the
        // "Proxy-Connection: Keep-Alive" it would send a proxy.
        || !headers.append("Accept:") || !headers.append("Proxy-Connection:"))
        throwTransferError(Stage::Sending, CURLE_OUT_OF_MEMORY);

    Transfer transfer;
    transfer.easy = easy.get();
    transfer.maxBodyBytes = limits.maxBodyBytes;
    transfer.maxHeaderBytes = limits.maxHeaderBytes;
    setup(easy.get(), transfer, headers, limits);
    const QDeadlineTimer deadline(limits.totalTimeoutMs);

    for (int redirects = 0;; ++redirects) {
        transfer.requestStarted = false;
        transfer.headersDone = false;
        transfer.body.clear();
        if (curl_easy_setopt(easy.get(), CURLOPT_URL, target.constData()) != CURLE_OK)
            throwInvalidUrl(current);
        // Asked again at every hop: the next address may be one the proxy is not for.
        const Proxy proxy = systemProxyFor(target);
        if (!useProxy(easy.get(), proxy))
            throwTransferError(Stage::Sending, CURLE_FAILED_INIT);

        CURLcode code = CURLE_OK;
        core::runBlocking(
            [&] { code = perform(multi.get(), easy.get(), transfer, limits.timeoutMs, deadline); });
        if (transfer.outOfTime) {
            // Still connecting: the same failure as libcurl's own connect time-out.
            // Otherwise the server is answering, too slowly, whatever part it is in.
            throwTransferError(transfer.requestStarted ? Stage::Receiving : Stage::Sending,
                CURLE_OPERATION_TIMEDOUT, proxy.address);
        }
        if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
            throwTooLarge(limits.maxBodyBytes);
        if (transfer.tooManyHeaderBytes)
            throwTooManyHeaderBytes(stageOf(code, transfer), limits.maxHeaderBytes);
        if (code == CURLE_UNSUPPORTED_PROTOCOL && transfer.requestStarted) {
            // libcurl's word for an answer without an HTTP status line; the address was
            // fine, the server's reply was not.
            throwTransferError(Stage::Receiving, CURLE_WEIRD_SERVER_REPLY, proxy.address);
        }
        if (code == CURLE_URL_MALFORMAT || code == CURLE_UNSUPPORTED_PROTOCOL)
            throwInvalidUrl(current);
        if (isCertificateFailure(code))
            throw Error(QStringLiteral("Server Certificate Invalid or not present"));
        if (code != CURLE_OK)
            throwTransferError(stageOf(code, transfer), code, proxy.address);

        long status = 0;
        curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
        char *location = nullptr; // owned by the handle
        curl_easy_getinfo(easy.get(), CURLINFO_REDIRECT_URL, &location);
        if (!isRedirect(status) || !location || !*location)
            return transfer.body;
        if (redirects >= limits.maxRedirects)
            throw Error(
                QStringLiteral("Maximum number of redirections (%1) exceeded").arg(limits.maxRedirects));
        // libcurl has already resolved the Location against the current address.
        current = QString::fromUtf8(location);
        target = checkedUrl(current, current);
    }
}

} // namespace orvy::net
