#include "platform/pcmreader.h"

#include "platform/ffmpegsupport.h"

#include <algorithm>
#include <cmath>
#include <vector>

using namespace Qt::StringLiterals;

namespace tolvane {

struct PcmReader::Private {
    ffmpeg::FormatContextPtr format;
    int streamIndex = -1;
    ffmpeg::CodecContextPtr decoder;
    ffmpeg::ResamplerPtr resampler;
    ffmpeg::PacketPtr packet = ffmpeg::makePacket();
    ffmpeg::FramePtr frame = ffmpeg::makeFrame();

    // The input layout the resampler was set up for; a stream may change it.
    AVChannelLayout resamplerInLayout{};
    int resamplerInRate = 0;
    int resamplerInFormat = -1;

    double rangeStart = 0.0;
    double rangeEnd = 0.0;
    int outRate = 0;
    int outChannels = 0;

    // Running position for frames that carry no timestamp.
    double nextFrameSeconds = 0.0;
    // Input samples handed to the resampler, and output frames delivered: the
    // output is made exactly as long as the input it came from, whatever the
    // resampler's filter delay leaves over.
    double inputSecondsFed = 0.0;
    qint64 outputFramesDelivered = 0;

    bool decoderFlushed = false;
    bool inputDone = false;
    bool finished = false;

    ~Private() { av_channel_layout_uninit(&resamplerInLayout); }

    Expected<Done, MediaError> configureResampler(const AVFrame* input);
    // Converts (part of) a decoded frame; appends to out.
    Expected<Done, MediaError> convert(const AVFrame* input, int skip, int count, QByteArray& out);
    Expected<Done, MediaError> drainResampler(QByteArray& out);
    void padOrCut(QByteArray& out, bool atEnd);
    Expected<Done, MediaError> takeFrame(QByteArray& out);
};

PcmReader::PcmReader()
    : d(std::make_unique<Private>()) {}

PcmReader::~PcmReader() = default;

Expected<std::unique_ptr<PcmReader>, MediaError> PcmReader::create(const MediaAsset& asset) {
    auto format = ffmpeg::openInput(asset.path());
    if (!format) {
        return Unexpected(std::move(format).error());
    }
    std::unique_ptr<PcmReader> reader(new PcmReader);
    reader->d->format = std::move(*format);
    reader->d->streamIndex = ffmpeg::firstStream(reader->d->format.get(), AVMEDIA_TYPE_AUDIO);
    return reader;
}

bool PcmReader::hasAudio() const {
    return d->streamIndex >= 0;
}

Expected<Done, MediaError> PcmReader::start(const MediaTimeRange& range, PcmFormat format) {
    if (!hasAudio()) {
        return Unexpected(ffmpeg::error(AVERROR_STREAM_NOT_FOUND, u"no audio track"_s));
    }
    AVFormatContext* context = d->format.get();
    AVStream* stream = context->streams[d->streamIndex];
    // Only the audio packets matter; the demuxer can skip the rest cheaply.
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        if (static_cast<int>(i) != d->streamIndex) {
            context->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    auto decoder = ffmpeg::openDecoder(stream);
    if (!decoder) {
        return Unexpected(std::move(decoder).error());
    }
    d->decoder = std::move(*decoder);
    d->outRate = format.sampleRate > 0 ? format.sampleRate : d->decoder->sample_rate;
    d->outChannels = format.channels > 0 ? format.channels : d->decoder->ch_layout.nb_channels;
    if (d->outRate <= 0 || d->outChannels <= 0) {
        return Unexpected(ffmpeg::error(AVERROR_INVALIDDATA, u"unusable audio track"_s));
    }
    d->rangeStart = std::max(0.0, range.startSeconds());
    d->rangeEnd = range.endSeconds();
    // Encoders pad the last packet (AAC to 1024 samples); the track's stated
    // duration is where its audio really ends.
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        const int64_t first = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        d->rangeEnd = std::min(d->rangeEnd, static_cast<double>(first + stream->duration) *
                                                av_q2d(stream->time_base));
    }
    d->nextFrameSeconds = 0.0;
    if (d->rangeStart > 0.0) {
        const int64_t target = av_rescale_q(static_cast<int64_t>(d->rangeStart * AV_TIME_BASE),
                                            AV_TIME_BASE_Q, stream->time_base);
        // A failed seek leaves reading at the start; the samples before the range
        // are then dropped by time instead.
        if (av_seek_frame(context, d->streamIndex, target, AVSEEK_FLAG_BACKWARD) >= 0) {
            d->nextFrameSeconds = d->rangeStart;
        }
    }
    if (d->rangeEnd <= d->rangeStart) {
        d->inputDone = true;
        d->finished = true;
    }
    return Done{};
}

Expected<Done, MediaError> PcmReader::Private::configureResampler(const AVFrame* input) {
    if (resampler && resamplerInRate == input->sample_rate && resamplerInFormat == input->format &&
        av_channel_layout_compare(&resamplerInLayout, &input->ch_layout) == 0) {
        return Done{};
    }
    AVChannelLayout inLayout{};
    if (input->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&inLayout, input->ch_layout.nb_channels);
    } else {
        av_channel_layout_copy(&inLayout, &input->ch_layout);
    }
    AVChannelLayout outLayout{};
    av_channel_layout_default(&outLayout, outChannels);
    SwrContext* raw = nullptr;
    int rc = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_S16, outRate, &inLayout,
                                 static_cast<AVSampleFormat>(input->format), input->sample_rate, 0,
                                 nullptr);
    ffmpeg::ResamplerPtr fresh(raw);
    av_channel_layout_uninit(&outLayout);
    av_channel_layout_uninit(&inLayout);
    if (rc >= 0) {
        rc = swr_init(fresh.get());
    }
    if (rc < 0) {
        return Unexpected(ffmpeg::error(rc, u"could not convert the audio"_s));
    }
    resampler = std::move(fresh);
    resamplerInRate = input->sample_rate;
    resamplerInFormat = input->format;
    av_channel_layout_uninit(&resamplerInLayout);
    av_channel_layout_copy(&resamplerInLayout, &input->ch_layout);
    return Done{};
}

Expected<Done, MediaError> PcmReader::Private::convert(const AVFrame* input, int skip, int count,
                                                       QByteArray& out) {
    if (auto ok = configureResampler(input); !ok) {
        return ok;
    }
    const auto sampleFormat = static_cast<AVSampleFormat>(input->format);
    const int bytesPerSample = av_get_bytes_per_sample(sampleFormat);
    const int channels = input->ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(sampleFormat);
    const int planeCount = planar ? channels : 1;
    std::vector<const uint8_t*> offsetPlanes(static_cast<size_t>(planeCount));
    const int offset = skip * bytesPerSample * (planar ? 1 : channels);
    for (int i = 0; i < planeCount; ++i) {
        offsetPlanes[static_cast<size_t>(i)] = input->extended_data[i] + offset;
    }
    const int capacity = swr_get_out_samples(resampler.get(), count);
    if (capacity < 0) {
        return Unexpected(ffmpeg::error(capacity, u"could not convert the audio"_s));
    }
    const qsizetype before = out.size();
    out.resize(before + qsizetype(capacity) * outChannels * 2);
    auto* target = reinterpret_cast<uint8_t*>(out.data() + before);
    const int produced =
        swr_convert(resampler.get(), &target, capacity, offsetPlanes.data(), count);
    if (produced < 0) {
        out.resize(before);
        return Unexpected(ffmpeg::error(produced, u"could not convert the audio"_s));
    }
    out.resize(before + qsizetype(produced) * outChannels * 2);
    inputSecondsFed += static_cast<double>(count) / input->sample_rate;
    return Done{};
}

Expected<Done, MediaError> PcmReader::Private::drainResampler(QByteArray& out) {
    if (!resampler) {
        return Done{};
    }
    for (;;) {
        const int capacity = std::max(1024, swr_get_out_samples(resampler.get(), 0));
        const qsizetype before = out.size();
        out.resize(before + qsizetype(capacity) * outChannels * 2);
        auto* target = reinterpret_cast<uint8_t*>(out.data() + before);
        const int produced = swr_convert(resampler.get(), &target, capacity, nullptr, 0);
        if (produced < 0) {
            out.resize(before);
            return Unexpected(ffmpeg::error(produced, u"could not convert the audio"_s));
        }
        out.resize(before + qsizetype(produced) * outChannels * 2);
        if (produced == 0) {
            return Done{};
        }
    }
}

void PcmReader::Private::padOrCut(QByteArray& out, bool atEnd) {
    const qsizetype frameBytes = qsizetype(outChannels) * 2;
    const auto expected = static_cast<qint64>(std::llround(inputSecondsFed * outRate));
    const qint64 have = outputFramesDelivered + out.size() / frameBytes;
    if (have > expected) {
        out.resize(std::max<qsizetype>(0, out.size() - qsizetype(have - expected) * frameBytes));
    } else if (atEnd && have < expected) {
        out.append(QByteArray(qsizetype(expected - have) * frameBytes, '\0'));
    }
}

Expected<Done, MediaError> PcmReader::Private::takeFrame(QByteArray& out) {
    const AVStream* stream = format->streams[streamIndex];
    const int rate = frame->sample_rate;
    const int samples = frame->nb_samples;
    if (rate <= 0 || samples <= 0) {
        return Done{};
    }
    double begin = ffmpeg::frameSeconds(frame.get(), stream->time_base);
    if (std::isnan(begin)) {
        begin = nextFrameSeconds;
    }
    const double end = begin + static_cast<double>(samples) / rate;
    nextFrameSeconds = end;
    const int skip =
        std::clamp(static_cast<int>(std::llround((rangeStart - begin) * rate)), 0, samples);
    const int keep =
        std::clamp(static_cast<int>(std::llround((rangeEnd - begin) * rate)), 0, samples);
    if (end >= rangeEnd) {
        inputDone = true;
    }
    if (keep <= skip) {
        return Done{};
    }
    return convert(frame.get(), skip, keep - skip, out);
}

Expected<bool, MediaError> PcmReader::read(PcmBuffer& buffer) {
    buffer.sampleRate = d->outRate;
    buffer.channels = d->outChannels;
    buffer.data.clear();
    if (!d->decoder) {
        return Unexpected(ffmpeg::error(AVERROR(EINVAL), u"reading has not started"_s));
    }
    const qsizetype frameBytes = qsizetype(d->outChannels) * 2;
    while (!d->finished) {
        if (d->inputDone) {
            if (auto ok = d->drainResampler(buffer.data); !ok) {
                return Unexpected(ok.error());
            }
            d->padOrCut(buffer.data, true);
            d->finished = true;
            break;
        }
        const int received = avcodec_receive_frame(d->decoder.get(), d->frame.get());
        if (received >= 0) {
            auto ok = d->takeFrame(buffer.data);
            av_frame_unref(d->frame.get());
            if (!ok) {
                return Unexpected(ok.error());
            }
            d->padOrCut(buffer.data, false);
            if (!buffer.data.isEmpty()) {
                break;
            }
            continue;
        }
        if (received == AVERROR_EOF) {
            d->inputDone = true;
            continue;
        }
        if (received != AVERROR(EAGAIN)) {
            return Unexpected(ffmpeg::error(received, u"could not decode the audio"_s));
        }
        // The decoder wants more input.
        if (d->decoderFlushed) {
            d->inputDone = true;
            continue;
        }
        const int readResult = av_read_frame(d->format.get(), d->packet.get());
        if (readResult == AVERROR_EOF) {
            avcodec_send_packet(d->decoder.get(), nullptr);
            d->decoderFlushed = true;
            continue;
        }
        if (readResult < 0) {
            return Unexpected(ffmpeg::error(readResult, u"could not read the audio"_s));
        }
        if (d->packet->stream_index == d->streamIndex) {
            const int sent = avcodec_send_packet(d->decoder.get(), d->packet.get());
            // A damaged packet costs its samples, as in any player; the rest of
            // the track is still worth reading.
            if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN)) {
                av_packet_unref(d->packet.get());
                return Unexpected(ffmpeg::error(sent, u"could not decode the audio"_s));
            }
        }
        av_packet_unref(d->packet.get());
    }
    d->outputFramesDelivered += buffer.data.size() / frameBytes;
    return !buffer.data.isEmpty();
}

} // namespace tolvane
