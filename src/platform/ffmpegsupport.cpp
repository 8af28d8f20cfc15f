#include "platform/ffmpegsupport.h"

extern "C" {
#include <libavutil/display.h>
}

#include <QFile>

#include <cmath>
#include <limits>
#include <mutex>

using namespace Qt::StringLiterals;

namespace tolvane::ffmpeg {

namespace {

void quietenLibraries() {
    // Failures reach the user as error values; FFmpeg's own chatter on stderr
    // only repeats them.
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

} // namespace

FramePtr makeFrame() {
    return FramePtr(av_frame_alloc());
}

PacketPtr makePacket() {
    return PacketPtr(av_packet_alloc());
}

QString errorText(int code) {
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buffer, sizeof buffer);
    return QString::fromUtf8(buffer);
}

MediaError error(int code, const QString& what) {
    return MediaError{MediaError::mediaDomain, code, what + u": "_s + errorText(code)};
}

Expected<FormatContextPtr, MediaError> openInput(const QString& path) {
    quietenLibraries();
    AVFormatContext* raw = nullptr;
    const QByteArray name = QFile::encodeName(path);
    // avformat_open_input frees the context itself when it fails.
    if (const int rc = avformat_open_input(&raw, name.constData(), nullptr, nullptr); rc < 0) {
        return Unexpected(error(rc, u"could not open the media file"_s));
    }
    FormatContextPtr format(raw);
    if (const int rc = avformat_find_stream_info(format.get(), nullptr); rc < 0) {
        return Unexpected(error(rc, u"could not read the media file"_s));
    }
    return format;
}

int firstStream(const AVFormatContext* format, AVMediaType type) {
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (stream->codecpar->codec_type != type) {
            continue;
        }
        if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) {
            continue;
        }
        return static_cast<int>(i);
    }
    return -1;
}

Expected<CodecContextPtr, MediaError> openDecoder(const AVStream* stream) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        return Unexpected(error(AVERROR_DECODER_NOT_FOUND, u"no decoder"_s));
    }
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) {
        return Unexpected(error(AVERROR(ENOMEM), u"no decoder"_s));
    }
    if (const int rc = avcodec_parameters_to_context(context.get(), stream->codecpar); rc < 0) {
        return Unexpected(error(rc, u"could not set up the decoder"_s));
    }
    context->pkt_timebase = stream->time_base;
    context->thread_count = 0;
    if (const int rc = avcodec_open2(context.get(), codec, nullptr); rc < 0) {
        return Unexpected(error(rc, u"could not open the decoder"_s));
    }
    return context;
}

double uprightRotation(const AVStream* stream) {
    const auto* matrix = reinterpret_cast<const int32_t*>(
        av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!matrix) {
        return 0.0;
    }
    // The matrix holds the counter-clockwise rotation the picture was stored
    // with; showing it upright turns it back.
    const double angle = -av_display_rotation_get(matrix);
    if (!std::isfinite(angle)) {
        return 0.0;
    }
    double degrees = std::fmod(std::round(angle), 360.0);
    if (degrees < 0) {
        degrees += 360.0;
    }
    return degrees;
}

double frameSeconds(const AVFrame* frame, AVRational timeBase) {
    const int64_t pts =
        frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    if (pts == AV_NOPTS_VALUE) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return static_cast<double>(pts) * av_q2d(timeBase);
}

int swsColorspace(const AVFrame* frame) {
    switch (frame->colorspace) {
    case AVCOL_SPC_BT709:
        return SWS_CS_ITU709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        return SWS_CS_ITU601;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return SWS_CS_BT2020;
    default:
        // Untagged video follows the convention of its resolution.
        return frame->height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

} // namespace tolvane::ffmpeg
