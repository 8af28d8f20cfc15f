#pragma once

// Internal to the media layer: the only header that includes FFmpeg. Public
// headers of the layer forward-declare nothing of FFmpeg and include none of it.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "platform/expected.h"
#include "platform/mediaerror.h"

#include <QString>

#include <memory>

namespace tolvane::ffmpeg {

struct FormatContextDeleter {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ResamplerDeleter {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct ScalerDeleter {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerDeleter>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerDeleter>;

FramePtr makeFrame();
PacketPtr makePacket();

// FFmpeg's text for an error code.
QString errorText(int code);

// An error of the media layer: "<what>: <FFmpeg's text>".
MediaError error(int code, const QString& what);

// Opens a file and reads enough of it to know its streams.
Expected<FormatContextPtr, MediaError> openInput(const QString& path);

// The first stream of a media type, skipping cover pictures; -1 when none.
int firstStream(const AVFormatContext* format, AVMediaType type);

// A decoder for a stream, opened with the stream's parameters.
Expected<CodecContextPtr, MediaError> openDecoder(const AVStream* stream);

// The clockwise rotation in degrees (0, 90, 180 or 270 for camera files) that
// shows a stream's stored picture upright, from its display matrix.
double uprightRotation(const AVStream* stream);

// The timestamp of a decoded frame in seconds, or NaN when it has none.
double frameSeconds(const AVFrame* frame, AVRational timeBase);

// The colour matrix libswscale should convert `frame` with.
int swsColorspace(const AVFrame* frame);

} // namespace tolvane::ffmpeg
