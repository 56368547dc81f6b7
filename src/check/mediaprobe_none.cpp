#include "check/mediaprobe.h"

namespace orvy::check {

// Built without FFmpeg (the Windows build): the report says the media was not probed.
bool mediaProbeBuilt()
{
    return false;
}

void probeMedia(ByteSource &, LinkReport &report, const QDeadlineTimer &)
{
    report.probed = false;
}

} // namespace orvy::check
