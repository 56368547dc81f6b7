#pragma once

#include <QtGlobal>

namespace orvy::test {

// Watches this process's peak memory (resident set) from its construction on, through
// the kernel's high-water mark, which it resets. Linux only.
class PeakMemory {
public:
    PeakMemory();
    // How far the peak since construction rose above the resident set at construction, in
    // kB; -1 if the process's status cannot be read.
    qint64 growthKb() const;

private:
    qint64 m_startKb = -1;
};

} // namespace orvy::test
