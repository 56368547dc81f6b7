#pragma once

#include "net/fetchlimits.h"

#include <QByteArray>
#include <QString>

namespace orvy::net {

// Fetches url with one HTTP(S) GET, following up to limits.maxRedirects redirects,
// and returns the last answer's body byte for byte, whatever its status.
// Blocks the calling thread. Throws orvy::Error with the user-facing message.
QByteArray fetchBanner(const QString &url, const FetchLimits &limits = {});

} // namespace orvy::net
