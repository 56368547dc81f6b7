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

    // False under AddressSanitizer: it keeps freed memory in quarantine and moves every
    // reallocated block, so the peak says more about it than about the code measured.
    // The plain build checks the bounds.
    static constexpr bool meaningful()
    {
#if defined(__SANITIZE_ADDRESS__)
        return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
        return false;
#else
        return true;
#endif
#else
        return true;
#endif
    }

private:
    qint64 m_startKb = -1;
};

} // namespace orvy::test
