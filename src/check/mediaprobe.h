#pragma once

#include "check/findings.h"
#include "check/linkprobe.h"

namespace orvy::check {

// Whether this build carries the media probe (FFmpeg's libavformat).
bool mediaProbeBuilt();

// Reads the container's header through `source` (only the ranges the demuxer asks for)
// and fills the container, codecs, duration and bitrate of `report`; probeError on failure.
void probeMedia(ByteSource &source, LinkReport &report, const QDeadlineTimer &deadline);

// Whether the embedded engine plays this container (libavformat's name) and codec
// (libavcodec's name).
bool enginePlaysContainer(const QString &container);
bool enginePlaysCodec(const QString &codec);

} // namespace orvy::check
