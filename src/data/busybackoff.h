#pragma once

#include <QtGlobal>
#include <functional>
#include <optional>

namespace orvy::data {

// The pauses between attempts on a server that says it is busy, while the program starts.
// Each pause is drawn between half and one and a half times a step that doubles from the
// first pause up to eight times it: learners refused together come back spread out, and
// ever less often. No pause reaches past the total time after the first attempt, and
// once that time has passed there is none: the caller gives up.
class BusyBackoff {
public:
    static constexpr int maxStepFactor = 8;

    // `random` yields uniformly distributed 32-bit numbers.
    BusyBackoff(int firstPauseMs, int totalMs, std::function<quint32()> random);

    // The pause before the next attempt, `elapsedMs` after the first one began; nullopt
    // when the total time is spent.
    std::optional<int> nextPauseMs(qint64 elapsedMs);

private:
    int m_firstPauseMs;
    int m_totalMs;
    std::function<quint32()> m_random;
    qint64 m_stepMs;
};

} // namespace orvy::data
