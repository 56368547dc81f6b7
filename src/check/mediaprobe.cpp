#include "check/mediaprobe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

namespace orvy::check {

namespace {

// Feeds the demuxer from the source, a position kept here.
struct Reader {
    ByteSource *source = nullptr;
    qint64 position = 0;
};

int readPacket(void *opaque, uint8_t *buffer, int size)
{
    auto *r = static_cast<Reader *>(opaque);
    const QByteArray bytes = r->source->read(r->position, size);
    if (bytes.isEmpty())
        return r->source->error().isEmpty() ? AVERROR_EOF : AVERROR(EIO);
    memcpy(buffer, bytes.constData(), size_t(bytes.size()));
    r->position += bytes.size();
    return int(bytes.size());
}

int64_t seekTo(void *opaque, int64_t offset, int whence)
{
    auto *r = static_cast<Reader *>(opaque);
    const qint64 size = r->source->size();
    if (whence & AVSEEK_SIZE)
        return size >= 0 ? size : AVERROR(ENOSYS);
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
        r->position = offset;
        break;
    case SEEK_CUR:
        r->position += offset;
        break;
    case SEEK_END:
        if (size < 0)
            return AVERROR(ENOSYS);
        r->position = size + offset;
        break;
    default:
        return AVERROR(EINVAL);
    }
    return r->position;
}

int interrupted(void *opaque)
{
    const auto *deadline = static_cast<const QDeadlineTimer *>(opaque);
    return deadline->hasExpired() ? 1 : 0;
}

QString ffmpegError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

} // namespace

bool mediaProbeBuilt()
{
    return true;
}

void probeMedia(ByteSource &source, LinkReport &report, const QDeadlineTimer &deadline)
{
    av_log_set_level(AV_LOG_QUIET); // what went wrong goes to the report
    Reader reader { &source, 0 };
    constexpr int bufferBytes = 32 * 1024;
    auto *buffer = static_cast<unsigned char *>(av_malloc(bufferBytes));
    AVIOContext *io = buffer ? avio_alloc_context(buffer, bufferBytes, 0, &reader, readPacket, nullptr, seekTo) : nullptr;
    AVFormatContext *format = io ? avformat_alloc_context() : nullptr;
    if (!format) {
        if (io)
            av_freep(&io->buffer);
        else
            av_free(buffer);
        avio_context_free(&io);
        report.probeError = QStringLiteral("out of memory");
        return;
    }
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    format->interrupt_callback = { interrupted, const_cast<QDeadlineTimer *>(&deadline) };
    format->probesize = 1024 * 1024;
    // Only the demuxers of media files; never a playlist or a format that opens other files.
    format->format_whitelist = av_strdup("mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,ogg,mp3,flac,wav,avi,asf,flv,mpeg,mpegts,h264,hevc,m4v");
    const int opened = avformat_open_input(&format, nullptr, nullptr, nullptr);
    if (opened < 0) {
        // avformat_open_input frees the context on failure, not our I/O.
        report.probeError = source.error().isEmpty() ? QStringLiteral("not a media file libavformat reads (%1)").arg(ffmpegError(opened))
                                                     : source.error();
        av_freep(&io->buffer);
        avio_context_free(&io);
        return;
    }
    report.probed = true;
    report.container = QString::fromUtf8(format->iformat->name);
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters *codec = format->streams[i]->codecpar;
        const QString name = QString::fromUtf8(avcodec_get_name(codec->codec_id));
        if (codec->codec_type == AVMEDIA_TYPE_VIDEO && report.videoCodec.isEmpty()
            && !(format->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC))
            report.videoCodec = name;
        else if (codec->codec_type == AVMEDIA_TYPE_AUDIO && report.audioCodec.isEmpty())
            report.audioCodec = name;
    }
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        report.durationSeconds = double(format->duration) / AV_TIME_BASE;
    if (report.durationSeconds > 0 && report.size > 0)
        report.bitrate = qint64(double(report.size) * 8 / report.durationSeconds);
    avformat_close_input(&format);
    av_freep(&io->buffer);
    avio_context_free(&io);
}

} // namespace orvy::check
