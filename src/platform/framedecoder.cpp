#include "platform/framedecoder.h"

#include "platform/ffmpegsupport.h"

#include <QTransform>

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

// Frame times are compared with this slack so that a request computed in
// floating point for exactly a frame's start still lands on that frame.
constexpr double timeSlack = 1e-6;
// Without an index to find key frames, decoding forward is assumed cheaper
// than seeking for gaps shorter than this.
constexpr double forwardDecodeLimit = 2.0;

} // namespace

struct FrameDecoder::Private {
    ffmpeg::FormatContextPtr format;
    int streamIndex = -1;
    ffmpeg::CodecContextPtr decoder;
    ffmpeg::ScalerPtr scaler;
    ffmpeg::PacketPtr packet = ffmpeg::makePacket();

    double rotation = 0.0;
    QSize scaledSize; // before rotation
    QSize outputSize; // after rotation

    // Frames decoded but not yet passed on, in presentation order.
    std::deque<ffmpeg::FramePtr> queued;
    // The frame last located by frameAt().
    ffmpeg::FramePtr current;
    // Time of the last frame taken from the decoder; -infinity before the first.
    double position = -std::numeric_limits<double>::infinity();
    bool decoderFlushed = false;
    bool decoderDone = false;

    double timeOf(const AVFrame* frame) const {
        const double t = ffmpeg::frameSeconds(frame, format->streams[streamIndex]->time_base);
        return std::isnan(t) ? position : t;
    }

    Expected<bool, MediaError> decodeOne(ffmpeg::FramePtr& out);
    Expected<bool, MediaError> takeFrame(ffmpeg::FramePtr& out);
    bool canContinueTo(double seconds) const;
    Expected<Done, MediaError> seekTo(double seconds);
    Expected<Done, MediaError> locate(double seconds);
    Expected<QImage, MediaError> convert(const AVFrame* frame);
};

FrameDecoder::FrameDecoder()
    : d(std::make_unique<Private>()) {}

FrameDecoder::~FrameDecoder() = default;

Expected<std::unique_ptr<FrameDecoder>, MediaError> FrameDecoder::create(const MediaAsset& asset,
                                                                         Options options) {
    auto format = ffmpeg::openInput(asset.path());
    if (!format) {
        return Unexpected(std::move(format).error());
    }
    const int index = ffmpeg::firstStream(format->get(), AVMEDIA_TYPE_VIDEO);
    if (index < 0) {
        return Unexpected(ffmpeg::error(AVERROR_STREAM_NOT_FOUND, u"no video track"_s));
    }
    AVStream* stream = (*format)->streams[index];
    for (unsigned i = 0; i < (*format)->nb_streams; ++i) {
        if (static_cast<int>(i) != index) {
            (*format)->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    auto decoder = ffmpeg::openDecoder(stream);
    if (!decoder) {
        return Unexpected(std::move(decoder).error());
    }
    const QSize natural((*decoder)->width, (*decoder)->height);
    if (natural.isEmpty()) {
        return Unexpected(ffmpeg::error(AVERROR_INVALIDDATA, u"no picture size"_s));
    }

    std::unique_ptr<FrameDecoder> self(new FrameDecoder);
    Private& p = *self->d;
    p.format = std::move(*format);
    p.streamIndex = index;
    p.decoder = std::move(*decoder);
    p.rotation = options.applyTransform ? ffmpeg::uprightRotation(stream) : 0.0;

    const QTransform transform = QTransform().rotate(p.rotation);
    const QSizeF upright = transform.mapRect(QRectF(QPointF(0, 0), QSizeF(natural))).size();
    double scale = 1.0;
    if (options.maximumSize.isValid() && !options.maximumSize.isEmpty()) {
        scale = std::min({1.0, options.maximumSize.width() / upright.width(),
                          options.maximumSize.height() / upright.height()});
    }
    p.scaledSize = QSize(std::max(1, static_cast<int>(std::lround(natural.width() * scale))),
                         std::max(1, static_cast<int>(std::lround(natural.height() * scale))));
    const QRectF rotated = transform.mapRect(QRectF(QPointF(0, 0), QSizeF(p.scaledSize)));
    p.outputSize = QSize(static_cast<int>(std::lround(rotated.width())),
                         static_cast<int>(std::lround(rotated.height())));
    return self;
}

QSize FrameDecoder::outputSize() const {
    return d->outputSize;
}

Expected<bool, MediaError> FrameDecoder::Private::decodeOne(ffmpeg::FramePtr& out) {
    if (decoderDone) {
        return false;
    }
    ffmpeg::FramePtr frame = ffmpeg::makeFrame();
    for (;;) {
        const int received = avcodec_receive_frame(decoder.get(), frame.get());
        if (received >= 0) {
            out = std::move(frame);
            return true;
        }
        if (received == AVERROR_EOF) {
            decoderDone = true;
            return false;
        }
        if (received != AVERROR(EAGAIN)) {
            return Unexpected(ffmpeg::error(received, u"could not decode the video"_s));
        }
        if (decoderFlushed) {
            decoderDone = true;
            return false;
        }
        const int readResult = av_read_frame(format.get(), packet.get());
        if (readResult == AVERROR_EOF) {
            avcodec_send_packet(decoder.get(), nullptr);
            decoderFlushed = true;
            continue;
        }
        if (readResult < 0) {
            return Unexpected(ffmpeg::error(readResult, u"could not read the video"_s));
        }
        if (packet->stream_index == streamIndex) {
            const int sent = avcodec_send_packet(decoder.get(), packet.get());
            // A damaged packet costs its picture; later key frames still decode.
            if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN)) {
                av_packet_unref(packet.get());
                return Unexpected(ffmpeg::error(sent, u"could not decode the video"_s));
            }
        }
        av_packet_unref(packet.get());
    }
}

Expected<bool, MediaError> FrameDecoder::Private::takeFrame(ffmpeg::FramePtr& out) {
    if (!queued.empty()) {
        out = std::move(queued.front());
        queued.pop_front();
        return true;
    }
    auto decoded = decodeOne(out);
    if (decoded && *decoded) {
        position = timeOf(out.get());
    }
    return decoded;
}

bool FrameDecoder::Private::canContinueTo(double seconds) const {
    const double here = current ? timeOf(current.get()) : position;
    if (seconds + timeSlack < here) {
        return false;
    }
    if (!queued.empty() && timeOf(queued.front().get()) > seconds + timeSlack) {
        return true;
    }
    if (decoderDone) {
        return true;
    }
    AVStream* stream = format->streams[streamIndex];
    const auto target = static_cast<int64_t>(std::floor(seconds / av_q2d(stream->time_base)));
    const int entry = av_index_search_timestamp(stream, target, AVSEEK_FLAG_BACKWARD);
    if (entry >= 0) {
        const AVIndexEntry* key = avformat_index_get_entry(stream, entry);
        if (key) {
            const double keySeconds =
                static_cast<double>(key->timestamp) * av_q2d(stream->time_base);
            // No key frame between here and the target: decoding on is what a
            // seek would have to do anyway, minus the frames already behind us.
            if (std::isinf(here)) {
                return entry == 0;
            }
            return keySeconds <= here + timeSlack;
        }
    }
    if (std::isinf(here)) {
        return seconds < forwardDecodeLimit;
    }
    return seconds - here < forwardDecodeLimit;
}

Expected<Done, MediaError> FrameDecoder::Private::seekTo(double seconds) {
    AVStream* stream = format->streams[streamIndex];
    const auto target =
        static_cast<int64_t>(std::floor(std::max(0.0, seconds) / av_q2d(stream->time_base)));
    int rc = av_seek_frame(format.get(), streamIndex, target, AVSEEK_FLAG_BACKWARD);
    if (rc < 0) {
        // Some files only seek by bytes; going back to the start always works
        // and decoding forward then reaches the time.
        rc = avformat_seek_file(format.get(), -1, INT64_MIN, 0, 0, 0);
        if (rc < 0) {
            rc = av_seek_frame(format.get(), -1, 0, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_BACKWARD);
        }
        if (rc < 0) {
            return Unexpected(ffmpeg::error(rc, u"could not seek in the video"_s));
        }
    }
    avcodec_flush_buffers(decoder.get());
    queued.clear();
    current.reset();
    position = -std::numeric_limits<double>::infinity();
    decoderFlushed = false;
    decoderDone = false;
    return Done{};
}

Expected<Done, MediaError> FrameDecoder::Private::locate(double seconds) {
    if (!canContinueTo(seconds)) {
        if (auto ok = seekTo(seconds); !ok) {
            return ok;
        }
    }
    for (;;) {
        ffmpeg::FramePtr frame;
        auto taken = takeFrame(frame);
        if (!taken) {
            return Unexpected(taken.error());
        }
        if (!*taken) {
            break;
        }
        if (timeOf(frame.get()) <= seconds + timeSlack) {
            current = std::move(frame);
            continue;
        }
        queued.push_front(std::move(frame));
        break;
    }
    return Done{};
}

Expected<QImage, MediaError> FrameDecoder::Private::convert(const AVFrame* frame) {
    const bool shrinking = scaledSize.width() * 2 < frame->width;
    scaler.reset(sws_getCachedContext(
        scaler.release(), frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
        scaledSize.width(), scaledSize.height(), AV_PIX_FMT_RGB32,
        shrinking ? SWS_AREA : SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler) {
        return Unexpected(ffmpeg::error(AVERROR(EINVAL), u"could not convert the picture"_s));
    }
    const int fullRange = frame->color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    // Fails harmlessly for RGB sources, which need no matrix.
    sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(ffmpeg::swsColorspace(frame)),
                             fullRange, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16,
                             1 << 16);
    // The scaler writes whole SIMD blocks, up to 32 bytes past a line's last
    // pixel. Lines are written top to bottom, so a line's overrun lands in
    // padding or in the next line before that is written; the last one gets
    // slack of its own.
    const int stride = FFALIGN(scaledSize.width() * 4, 64);
    const size_t bytes = size_t(stride) * size_t(scaledSize.height()) + 64;
    auto* buffer = static_cast<uchar*>(av_malloc(bytes));
    if (!buffer) {
        return Unexpected(ffmpeg::error(AVERROR(ENOMEM), u"could not convert the picture"_s));
    }
    QImage image(buffer, scaledSize.width(), scaledSize.height(), stride, QImage::Format_RGB32,
                 av_free, buffer);
    if (image.isNull()) {
        av_free(buffer);
        return Unexpected(ffmpeg::error(AVERROR(ENOMEM), u"could not convert the picture"_s));
    }
    uint8_t* planes[1] = {image.bits()};
    const int strides[1] = {static_cast<int>(image.bytesPerLine())};
    sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
    if (rotation != 0.0) {
        image = image.transformed(QTransform().rotate(rotation));
    }
    return image;
}

Expected<QImage, MediaError> FrameDecoder::frameAt(double seconds) {
    if (!std::isfinite(seconds)) {
        return Unexpected(ffmpeg::error(AVERROR(EINVAL), u"no such time"_s));
    }
    if (auto ok = d->locate(seconds); !ok) {
        return Unexpected(ok.error());
    }
    const AVFrame* frame = d->current          ? d->current.get()
                           : d->queued.empty() ? nullptr
                                               : d->queued.front().get();
    if (!frame) {
        return Unexpected(ffmpeg::error(AVERROR_INVALIDDATA, u"no picture at this time"_s));
    }
    return d->convert(frame);
}

Expected<Done, MediaError> FrameDecoder::seek(double seconds) {
    if (!std::isfinite(seconds)) {
        return Unexpected(ffmpeg::error(AVERROR(EINVAL), u"no such time"_s));
    }
    if (auto ok = d->locate(seconds); !ok) {
        return ok;
    }
    if (d->current) {
        d->queued.push_front(std::move(d->current));
    }
    return Done{};
}

Expected<bool, MediaError> FrameDecoder::next(DecodedFrame& frame) {
    d->current.reset();
    ffmpeg::FramePtr decoded;
    auto taken = d->takeFrame(decoded);
    if (!taken) {
        return Unexpected(taken.error());
    }
    if (!*taken) {
        return false;
    }
    auto image = d->convert(decoded.get());
    if (!image) {
        return Unexpected(image.error());
    }
    frame.image = std::move(*image);
    frame.time = d->timeOf(decoded.get());
    return true;
}

} // namespace tolvane
