#pragma once

#include "check/findings.h"
#include "check/linkprobe.h"
#include "check/options.h"
#include "net/fetchlimits.h"

#include <functional>

namespace orvy::check {

// Bounds of a check besides the options; tests shorten them.
struct CheckLimits {
    LinkLimits link;
    net::FetchLimits banner; // the program's own
};

// The check could not run (no connection): exit status 2.
class CannotRun : public std::exception {
public:
    explicit CannotRun(QString message)
        : m_message(std::move(message))
    {
    }
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

// Reads the catalogue as the program does and checks every item. `progress` is called
// (from any thread) as links are done: (done, total). Throws CannotRun.
CheckResult runCheck(const CheckOptions &options, const CheckLimits &limits = {},
    const std::function<void(int, int)> &progress = {});

// The banner strip at the window's first size, and the largest any desktop shows (8K).
inline constexpr int designStripWidth = 1152;
inline constexpr int designStripHeight = 376;
inline constexpr int largestStripWidth = 7680;
inline constexpr int largestStripHeight = 4320;

} // namespace orvy::check
