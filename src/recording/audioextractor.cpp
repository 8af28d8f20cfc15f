#include "recording/audioextractor.h"

#include "platform/pcmreader.h"

#include <QtConcurrent/QtConcurrentRun>
#include <QtEndian>

#include <QCoro/QCoroFuture>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

MediaError extractorError(AudioExtractor::ErrorCode code, const QString& description) {
    return MediaError{AudioExtractor::errorDomain, code, description};
}

void appendLittleEndian32(QByteArray& out, quint32 value) {
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void appendLittleEndian16(QByteArray& out, quint16 value) {
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

} // namespace

QCoro::Task<Expected<QByteArray, MediaError>>
AudioExtractor::extract(MediaAsset asset, MediaTimeRange range, CancelHandle task) {
    // Two statements on purpose: g++ 12 miscompiles "co_return co_await" of a
    // non-trivial value.
    QFuture<Expected<QByteArray, MediaError>> work =
        QtConcurrent::run([asset, range, task] { return extractBlocking(asset, range, task); });
    auto result = co_await work;
    co_return result;
}

Expected<QByteArray, MediaError> AudioExtractor::extractBlocking(const MediaAsset& asset,
                                                                 const MediaTimeRange& range,
                                                                 const CancelHandle& task) {
    auto reader = PcmReader::create(asset);
    if (!reader) {
        return Unexpected(std::move(reader).error());
    }
    if (!(*reader)->hasAudio()) {
        return Unexpected(extractorError(noAudioTrack, u"the recording has no audio track"_s));
    }
    if (auto started = (*reader)->start(range, PcmFormat{sampleRate, 1}); !started) {
        const MediaError& error = started.error();
        return Unexpected(error.description.isEmpty()
                              ? extractorError(readingDidNotStart, u"could not read audio"_s)
                              : error);
    }
    QByteArray samples;
    samples.reserve(qsizetype(std::max(0.0, range.durationSeconds()) * sampleRate * 2) + 4096);
    PcmBuffer buffer;
    for (;;) {
        if (isCancelled(task)) {
            return Unexpected(MediaError::cancelled());
        }
        auto more = (*reader)->read(buffer);
        if (!more) {
            const MediaError& error = more.error();
            // An error nobody can read would leave the user with a blank line.
            return Unexpected(error.description.isEmpty()
                                  ? extractorError(readingFailed, u"could not read audio"_s)
                                  : error);
        }
        if (!*more) {
            break;
        }
        samples.append(buffer.data);
    }
    return wavImage(samples);
}

QByteArray AudioExtractor::wavImage(const QByteArray& samples) {
    const auto dataSize = static_cast<quint32>(samples.size());
    QByteArray image;
    image.reserve(wavHeaderSize + samples.size());
    image.append("RIFF", 4);
    appendLittleEndian32(image, dataSize + 36);
    image.append("WAVE", 4);
    image.append("fmt ", 4);
    appendLittleEndian32(image, 16);             // fmt chunk size
    appendLittleEndian16(image, 1);              // PCM
    appendLittleEndian16(image, 1);              // channels
    appendLittleEndian32(image, sampleRate);     // samples per second
    appendLittleEndian32(image, sampleRate * 2); // bytes per second
    appendLittleEndian16(image, 2);              // block align
    appendLittleEndian16(image, 16);             // bits per sample
    image.append("data", 4);
    appendLittleEndian32(image, dataSize);
    image.append(samples);
    return image;
}

} // namespace tolvane
