#pragma once

#include <QString>

namespace orvy::net {

// Limits of one banner fetch. The defaults are the program's; tests shorten them.
struct FetchLimits {
    int timeoutMs = 60000; // each of: resolving and connecting, sending, every wait for data
    // The whole fetch, redirects included: a server that keeps sending a byte now and
    // then, or interim answers, must not hold start-up for ever.
    int totalTimeoutMs = 60000;
    // The most a banner may weigh. 128 MiB holds an 8K picture (7680 x 4320, 33
    // megapixels) as 8-bit RGBA with no compression at all, far beyond any banner,
    // while bounding what a hostile server can make the program hold.
    qint64 maxBodyBytes = 128 * 1024 * 1024;
    // All header and trailer lines of one fetch, interim answers and redirects included.
    // Real answers carry a few kB; libcurl bounds one header block but not the trailers
    // after a chunked body, and keeps every line it is given.
    qint64 maxHeaderBytes = 64 * 1024;
    int maxRedirects = 5;
    QString caBundle; // trusted certificates (PEM file); empty: the system's
};

} // namespace orvy::net
