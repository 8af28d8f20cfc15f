#include "platform/microphonerecorder.h"

#include "platform/captureinput.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <QFile>
#include <QtEndian>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

constexpr qint64 wavHeaderSize = 44;

QByteArray wavHeader(quint32 dataBytes) {
    QByteArray header(wavHeaderSize, '\0');
    char* h = header.data();
    const auto put32 = [h](int at, quint32 v) { qToLittleEndian(v, h + at); };
    const auto put16 = [h](int at, quint16 v) { qToLittleEndian(v, h + at); };
    std::memcpy(h, "RIFF", 4);
    put32(4, dataBytes + 36);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1); // PCM
    put16(22, 1); // mono
    put32(24, MicrophoneRecorder::sampleRate);
    put32(28, MicrophoneRecorder::sampleRate * 2);
    put16(32, 2);
    put16(34, 16);
    std::memcpy(h + 36, "data", 4);
    put32(40, dataBytes);
    return header;
}

} // namespace

struct MicrophoneRecorder::Private {
    QString microphone;
    std::unique_ptr<capture::Input> input;
    ffmpeg::CodecContextPtr decoder;
    ffmpeg::ResamplerPtr resampler;
    // Written by the reading thread only, until it has ended.
    QFile file;
    qint64 dataBytes = 0;
    QString writeError;
    bool started = false;
    bool stopped = false;

    // The meter: the last 50 ms of samples, as a ring.
    std::vector<qint16> ring = std::vector<qint16>(meterSamples, 0);
    size_t ringAt = 0;
    size_t ringFilled = 0;
    // Mean square of the ring in full-scale units; negative before any sound.
    std::atomic<double> meanSquare{-1.0};
    std::atomic<qint64> samplesWritten{0};

    void onPacket(AVPacket* packet);
    void write(const qint16* samples, int count);
    void drainResampler();
};

void MicrophoneRecorder::Private::onPacket(AVPacket* packet) {
    if (avcodec_send_packet(decoder.get(), packet) < 0) {
        return;
    }
    ffmpeg::FramePtr frame = ffmpeg::makeFrame();
    while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
        if (!resampler) {
            AVChannelLayout layout{};
            if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
                av_channel_layout_default(&layout, std::max(1, frame->ch_layout.nb_channels));
            } else {
                av_channel_layout_copy(&layout, &frame->ch_layout);
            }
            AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
            SwrContext* swr = nullptr;
            swr_alloc_set_opts2(&swr, &mono, AV_SAMPLE_FMT_S16, sampleRate, &layout,
                                AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
            av_channel_layout_uninit(&layout);
            resampler.reset(swr);
            if (!swr || swr_init(swr) < 0) {
                resampler.reset();
                av_frame_unref(frame.get());
                continue;
            }
        }
        const int room = swr_get_out_samples(resampler.get(), frame->nb_samples);
        std::vector<qint16> out(size_t(std::max(room, 0)));
        auto* planes = reinterpret_cast<uint8_t*>(out.data());
        const int got =
            swr_convert(resampler.get(), &planes, room,
                        const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        if (got > 0) {
            write(out.data(), got);
        }
        av_frame_unref(frame.get());
    }
}

void MicrophoneRecorder::Private::drainResampler() {
    if (!resampler) {
        return;
    }
    const int room = swr_get_out_samples(resampler.get(), 0);
    if (room <= 0) {
        return;
    }
    std::vector<qint16> out(static_cast<size_t>(room));
    auto* planes = reinterpret_cast<uint8_t*>(out.data());
    const int got = swr_convert(resampler.get(), &planes, room, nullptr, 0);
    if (got > 0) {
        write(out.data(), got);
    }
}

void MicrophoneRecorder::Private::write(const qint16* samples, int count) {
    if (!writeError.isEmpty()) {
        return;
    }
    const qint64 bytes = qint64(count) * 2;
    if (file.write(reinterpret_cast<const char*>(samples), bytes) != bytes) {
        // A full disk: what was written stays a valid recording up to here.
        writeError = file.errorString();
        input->interrupt.quit = true;
        return;
    }
    dataBytes += bytes;
    samplesWritten += count;
    for (int i = 0; i < count; ++i) {
        ring[ringAt] = samples[i];
        ringAt = (ringAt + 1) % ring.size();
    }
    ringFilled = std::min(ring.size(), ringFilled + size_t(count));
    double sum = 0;
    for (size_t i = 0; i < ringFilled; ++i) {
        const double s = double(ring[i]) / 32768.0;
        sum += s * s;
    }
    meanSquare = sum / double(ringFilled);
}

MicrophoneRecorder::MicrophoneRecorder(QString microphone)
    : d(std::make_unique<Private>()) {
    d->microphone = std::move(microphone);
}

MicrophoneRecorder::~MicrophoneRecorder() {
    stop();
}

Expected<Done, MicrophoneRecorder::Failure> MicrophoneRecorder::record(const QString& path) {
    if (d->started) {
        return Unexpected(Failure{Failure::file, u"already recording"_s});
    }
    QString lastError = u"no microphone"_s;
    for (const CaptureSource& source : capture::microphoneCandidates(d->microphone)) {
        auto opened = capture::openSource(source, AVMEDIA_TYPE_AUDIO, nullptr);
        if (!opened) {
            lastError = opened.error();
            continue;
        }
        auto decoder = capture::openDecoder(opened.value()->avStream());
        if (!decoder) {
            lastError = source.url + u": "_s + decoder.error();
            continue;
        }
        d->input = std::move(opened.value());
        d->decoder = std::move(decoder.value());
        break;
    }
    if (!d->input) {
        return Unexpected(Failure{Failure::microphone, lastError});
    }
    d->file.setFileName(path);
    // Unbuffered, so a full disk shows at the write that hit it.
    if (!d->file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered) ||
        d->file.write(wavHeader(0)) != wavHeaderSize) {
        const QString reason = d->file.errorString();
        if (d->file.isOpen()) {
            d->file.close();
            d->file.remove();
        }
        d->input.reset();
        d->decoder.reset();
        return Unexpected(Failure{Failure::file, reason});
    }
    d->started = true;
    Private* p = d.get();
    d->input->thread = std::thread([p] {
        capture::readPackets(*p->input, false, [p](AVPacket* packet, capture::Clock::time_point) {
            p->onPacket(packet);
        });
    });
    return Done{};
}

double MicrophoneRecorder::averagePower() const {
    const double meanSquare = d->meanSquare.load();
    if (meanSquare <= 0) {
        return -std::numeric_limits<double>::infinity();
    }
    // A sine's mean square is half its peak's: +3 dB puts a full-scale sine at 0 dB.
    return 10.0 * std::log10(meanSquare) + 10.0 * std::log10(2.0);
}

double MicrophoneRecorder::recordedSeconds() const {
    return double(d->samplesWritten.load()) / sampleRate;
}

void MicrophoneRecorder::requestStop() {
    if (d->input) {
        d->input->interrupt.quit = true;
    }
}

QString MicrophoneRecorder::stop() {
    if (!d->started || d->stopped) {
        return d->writeError;
    }
    d->stopped = true;
    requestStop();
    if (d->input->thread.joinable()) {
        d->input->thread.join();
    }
    d->drainResampler();
    d->input.reset();
    d->decoder.reset();
    d->resampler.reset();
    if (!d->file.seek(0) || d->file.write(wavHeader(quint32(d->dataBytes))) != wavHeaderSize) {
        if (d->writeError.isEmpty()) {
            d->writeError = d->file.errorString();
        }
    }
    d->file.close();
    return d->writeError;
}

} // namespace tolvane
