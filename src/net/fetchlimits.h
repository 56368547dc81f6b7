#pragma once

#include <QString>

namespace orvy::net {

// Limits of one banner fetch. The defaults are the program's; tests shorten them.
struct FetchLimits {
    int timeoutMs = 60000; // each of: resolving and connecting, sending, every wait for data
    int maxRedirects = 5;
    QString caBundle; // trusted certificates (PEM file); empty: the system's
};

} // namespace orvy::net
