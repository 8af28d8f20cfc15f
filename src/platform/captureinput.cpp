#include "platform/captureinput.h"

extern "C" {
#include <libavdevice/avdevice.h>
}

#include <QFile>
#include <QLoggingCategory>

#include <mutex>
#include <optional>

using namespace Qt::StringLiterals;

namespace tolvane::capture {

namespace {

Q_LOGGING_CATEGORY(lcCaptureInput, "tolvane.media.capture")

// How long opening a source may take before it counts as not openable; the
// recorder's warm-up gives up after 8 s in all.
constexpr auto openTimeout = std::chrono::seconds(6);
constexpr AVRational microBase{1, 1000000};

struct DictionaryDeleter {
    void operator()(AVDictionary* dict) const { av_dict_free(&dict); }
};

} // namespace

std::int64_t micros(Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::microseconds>(d).count();
}

void registerDevices() {
    static std::once_flag once;
    std::call_once(once, [] {
        avdevice_register_all();
        // Failures reach the user as values; the encoders' chatter only repeats them.
        av_log_set_level(AV_LOG_FATAL);
    });
}

int Interrupt::check(void* opaque) {
    auto* self = static_cast<Interrupt*>(opaque);
    if (self->quit.load()) {
        return 1;
    }
    const std::int64_t limit = self->deadline.load();
    return limit != 0 && micros(Clock::now().time_since_epoch()) > limit ? 1 : 0;
}

Expected<std::unique_ptr<Input>, QString> openSource(const CaptureSource& source, AVMediaType type,
                                                     AVDictionary* options) {
    registerDevices();
    auto input = std::make_unique<Input>();
    input->paced = source.paced;
    const AVInputFormat* format = nullptr;
    if (!source.format.isEmpty()) {
        format = av_find_input_format(source.format.toLatin1().constData());
        if (!format) {
            return Unexpected(u"no input format "_s + source.format);
        }
    }
    AVFormatContext* raw = avformat_alloc_context();
    raw->interrupt_callback = {&Interrupt::check, &input->interrupt};
    input->interrupt.deadline = micros((Clock::now() + openTimeout).time_since_epoch());
    AVDictionary* opts = nullptr;
    av_dict_copy(&opts, options, 0);
    const QByteArray url =
        source.format.isEmpty() ? QFile::encodeName(source.url) : source.url.toUtf8();
    const int rc = avformat_open_input(&raw, url.constData(), format, &opts);
    av_dict_free(&opts);
    if (rc < 0) {
        return Unexpected(source.url + u": "_s + ffmpeg::errorText(rc));
    }
    input->format.reset(raw);
    if (const int info = avformat_find_stream_info(raw, nullptr); info < 0) {
        return Unexpected(source.url + u": "_s + ffmpeg::errorText(info));
    }
    input->interrupt.deadline = 0;
    input->stream = ffmpeg::firstStream(raw, type);
    if (input->stream < 0) {
        return Unexpected(source.url + u": no "_s +
                          (type == AVMEDIA_TYPE_VIDEO ? u"picture"_s : u"sound"_s));
    }
    return input;
}

QList<CaptureSource> microphoneCandidates(const QString& name) {
    const QString chosen = name.isEmpty() ? qEnvironmentVariable("TOLVANE_MICROPHONE") : name;
    if (!chosen.isEmpty()) {
        return {microphoneSource(chosen)};
    }
    return {{u"pulse"_s, u"default"_s, false}, {u"alsa"_s, u"default"_s, false}};
}

Expected<ffmpeg::CodecContextPtr, QString> openDecoder(const AVStream* stream, int lowres) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        return Unexpected(u"no decoder"_s);
    }
    ffmpeg::CodecContextPtr context(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(context.get(), stream->codecpar);
    context->thread_count = 1;
    AVDictionary* opts = nullptr;
    if (lowres > 0) {
        av_dict_set_int(&opts, "lowres", lowres, 0);
    }
    const int rc = avcodec_open2(context.get(), codec, &opts);
    av_dict_free(&opts);
    if (rc < 0) {
        return Unexpected(ffmpeg::errorText(rc));
    }
    return context;
}

void readPackets(Input& input, bool video,
                 const std::function<void(AVPacket*, Clock::time_point)>& deliver) {
    ffmpeg::PacketPtr packet = ffmpeg::makePacket();
    bool paced = false;
    Clock::time_point paceBase{};
    // Where the current pass over a looping file starts on the pacing clock.
    Clock::duration loopOffset{};
    Clock::duration passEnd{};
    const AVRational timeBase = input.avStream()->time_base;
    while (!input.interrupt.quit.load()) {
        const int rc = av_read_frame(input.format.get(), packet.get());
        if (rc == AVERROR(EAGAIN)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        if (rc == AVERROR_EOF && input.paced) {
            // A file plays on as a loop, so it can stand in for a device; a
            // graph that has ended stays quiet until it is stopped. The next
            // pass follows the last on the same clock: restarting the pacing
            // from now would carry over whatever this thread lagged behind at
            // the end, and the picture would slip against the sound with every
            // pass.
            if (av_seek_frame(input.format.get(), input.stream, 0, AVSEEK_FLAG_BACKWARD) < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            } else {
                loopOffset = passEnd;
            }
            continue;
        }
        if (rc < 0) {
            qCWarning(lcCaptureInput) << "capture source ended:" << ffmpeg::errorText(rc);
            return;
        }
        if (packet->stream_index != input.stream) {
            av_packet_unref(packet.get());
            continue;
        }
        std::optional<Clock::time_point> due;
        if (input.paced && packet->pts != AV_NOPTS_VALUE) {
            // Deliver at the source's own rate, as a device would.
            const auto offset =
                std::chrono::microseconds(av_rescale_q(packet->pts, timeBase, microBase));
            if (!paced) {
                paced = true;
                paceBase = Clock::now() - offset;
            }
            due = paceBase + loopOffset + offset;
            const auto length =
                packet->duration > 0
                    ? std::chrono::microseconds(av_rescale_q(packet->duration, timeBase, microBase))
                    : std::chrono::microseconds(0);
            passEnd = std::max(passEnd, loopOffset + offset + length);
            while (Clock::now() < *due && !input.interrupt.quit.load()) {
                std::this_thread::sleep_for(
                    std::min<Clock::duration>(*due - Clock::now(), std::chrono::milliseconds(20)));
            }
        }
        // A device stamps a frame when it was captured, not when this thread got
        // round to it; a paced source's frame was "captured" when it was due.
        Clock::time_point arrived = due ? *due : Clock::now();
        if (due && !video && packet->duration > 0) {
            // Sound arrives once its packet has been heard through.
            arrived +=
                std::chrono::microseconds(av_rescale_q(packet->duration, timeBase, microBase));
        }
        deliver(packet.get(), arrived);
        av_packet_unref(packet.get());
    }
}

} // namespace tolvane::capture
