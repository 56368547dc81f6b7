#include "check/mediaprobe.h"

#include <QSet>

namespace orvy::check {

// What the embedded engine (Chromium's media stack, as Qt WebEngine ships it with the
// proprietary codecs on) plays: MP4 and WebM/Matroska files, also Ogg and plain MP3, with
// H.264, VP8, VP9 or AV1 pictures and AAC, MP3, Opus, Vorbis or FLAC sound. HEVC, MPEG-4
// Part 2, MPEG-2, WMV and the like are not decoded; such a lesson stays an empty view.

bool enginePlaysContainer(const QString &container)
{
    // libavformat's demuxer names.
    static const QSet<QString> playable { QStringLiteral("mov,mp4,m4a,3gp,3g2,mj2"),
        QStringLiteral("matroska,webm"), QStringLiteral("ogg"), QStringLiteral("mp3"), QStringLiteral("flac"),
        QStringLiteral("wav") };
    return playable.contains(container);
}

bool enginePlaysCodec(const QString &codec)
{
    static const QSet<QString> playable { QStringLiteral("h264"), QStringLiteral("vp8"), QStringLiteral("vp9"),
        QStringLiteral("av1"), QStringLiteral("aac"), QStringLiteral("mp3"), QStringLiteral("opus"),
        QStringLiteral("vorbis"), QStringLiteral("flac"), QStringLiteral("pcm_s16le"), QStringLiteral("pcm_u8"),
        QStringLiteral("pcm_f32le") };
    return playable.contains(codec);
}

} // namespace orvy::check
