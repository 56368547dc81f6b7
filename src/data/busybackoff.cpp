#include "data/busybackoff.h"

#include <cmath>

namespace orvy::data {

BusyBackoff::BusyBackoff(int firstPauseMs, int totalMs, std::function<quint32()> random)
    : m_firstPauseMs(qMax(1, firstPauseMs)) // never a pause of nothing: that would hammer the server
    , m_totalMs(qMax(0, totalMs))
    , m_random(std::move(random))
    , m_stepMs(m_firstPauseMs)
{
}

std::optional<int> BusyBackoff::nextPauseMs(qint64 elapsedMs)
{
    const qint64 left = m_totalMs - elapsedMs;
    if (left <= 0)
        return std::nullopt;
    const double fraction = double(m_random()) / 4294967296.0; // [0, 1)
    const qint64 pause = std::llround(double(m_stepMs) * (0.5 + fraction));
    m_stepMs = qMin(m_stepMs * 2, qint64(m_firstPauseMs) * maxStepFactor);
    return int(qBound(qint64(1), pause, left));
}

} // namespace orvy::data
