#include "recording/livetranscriber.h"

#include "platform/speechsegmenter.h"
#include "recording/voicerecorder.h"

#include <QFile>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoro/QCoroFuture>

#include <memory>

namespace tolvane {

namespace {

constexpr qsizetype rate = SpeechEngine::sampleRate;
// A look at the pending samples is worth it once this much more has arrived.
constexpr qsizetype lookEvery = rate / 2;

std::span<const qint16> samplesOf(const QByteArray& bytes) {
    return {reinterpret_cast<const qint16*>(bytes.constData()), size_t(bytes.size() / 2)};
}

void appendShifted(QList<SpeechWord>& to, const QList<SpeechWord>& words, qsizetype offset) {
    const double seconds = double(offset) / rate;
    for (SpeechWord w : words) {
        w.start += seconds;
        w.end += seconds;
        to << w;
    }
}

} // namespace

LiveTranscriber::LiveTranscriber(SpeechWorker& worker, QObject* parent)
    : QObject(parent)
    , m_worker(worker) {}

LiveTranscriber::~LiveTranscriber() {
    if (m_cancel) {
        m_cancel->cancel();
    }
}

void LiveTranscriber::begin() {
    if (m_cancel) {
        m_cancel->cancel();
    }
    m_cancel = CancelToken::create();
    ++m_generation;
    m_pending.clear();
    m_offset = 0;
    m_lookedAt = 0;
    m_words.clear();
    m_looking = {};
    m_failed = false;
}

void LiveTranscriber::hear(const QByteArray& samples) {
    m_pending += samples;
    if (!m_failed && m_looking.isFinished() && m_pending.size() / 2 >= m_lookedAt + lookEvery) {
        lookAhead();
    }
}

void LiveTranscriber::lookAhead() {
    m_lookedAt = m_pending.size() / 2;
    auto decoded = std::make_shared<qsizetype>(0);
    const CancelHandle cancel = m_cancel;
    QFuture<SpeechResult> looking =
        m_worker.submit([samples = m_pending, decoded, cancel](SpeechEngine& engine) {
            return decodeClosed(engine, samplesOf(samples), *decoded, cancel);
        });
    const quint64 generation = m_generation;
    m_looking = looking.then(this, [this, decoded, generation](SpeechResult words) {
        if (generation != m_generation) {
            return;
        }
        if (!words) {
            m_failed = true;
            return;
        }
        appendShifted(m_words, *words, m_offset);
        m_offset += *decoded;
        m_pending.remove(0, *decoded * 2);
        m_lookedAt -= *decoded;
        // More may have arrived while the engine was busy.
        if (m_pending.size() / 2 >= m_lookedAt + lookEvery) {
            lookAhead();
        }
    });
}

QCoro::Task<LiveTranscriber::Transcription> LiveTranscriber::finish(QByteArray samples) {
    QPointer<LiveTranscriber> self(this);
    const quint64 generation = m_generation;
    // A look that ends may start the next; the last one is waited for.
    while (!m_looking.isFinished()) {
        QFuture<void> looking = m_looking;
        co_await looking;
        if (!self || generation != m_generation) {
            co_return Unexpected(MediaError::cancelled());
        }
    }
    // What was heard is a prefix of the recording; should it not be, the
    // early words are not trusted and the whole clip is decoded.
    const qsizetype from = m_failed || m_offset * 2 > samples.size() ? 0 : m_offset;
    QList<SpeechWord> words = from > 0 ? m_words : QList<SpeechWord>{};
    const CancelHandle cancel = m_cancel;
    QFuture<SpeechResult> rest =
        m_worker.recognize(samples.sliced(from * 2, samples.size() - from * 2), cancel);
    const SpeechResult restWords = co_await rest;
    if (!self || generation != m_generation) {
        co_return Unexpected(MediaError::cancelled());
    }
    if (!restWords) {
        co_return OnDeviceTranscriber::fromRecognized(restWords);
    }
    appendShifted(words, *restWords, from);
    co_return OnDeviceTranscriber::fromRecognized(words);
}

QCoro::Task<LiveTranscriber::Transcription> LiveTranscriber::finishFile(QString path,
                                                                        QString locale) {
    QPointer<LiveTranscriber> self(this);
    const quint64 generation = m_generation;
    QFuture<QByteArray> reading = QtConcurrent::run([path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    });
    const QByteArray bytes = co_await reading;
    if (!self || generation != m_generation) {
        co_return Unexpected(MediaError::cancelled());
    }
    const bool recorderWav = bytes.size() >= VoiceRecorder::wavHeaderSize &&
                             bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WAVE" &&
                             bytes.mid(36, 4) == "data";
    if (!recorderWav ||
        !OnDeviceTranscriber::chooseLocale(locale, OnDeviceTranscriber::supportedLocales())) {
        auto whole = OnDeviceTranscriber::transcribe(std::move(path), std::move(locale));
        co_return co_await whole;
    }
    auto finishing = finish(bytes.sliced(VoiceRecorder::wavHeaderSize));
    co_return co_await finishing;
}

SpeechResult LiveTranscriber::decodeClosed(SpeechEngine& engine, std::span<const qint16> samples,
                                           qsizetype& decoded, const CancelHandle& task) {
    decoded = 0;
    const auto size = qsizetype(samples.size());
    const auto spans = SpeechSegmenter::utterances(samples, rate);
    if (spans.isEmpty()) {
        // Nothing said yet. The last second stays: speech may be starting in it.
        decoded = std::max<qsizetype>(0, size - rate);
        return QList<SpeechWord>{};
    }
    const auto closingPause = qsizetype(closingPauseSeconds * rate);
    for (qsizetype i = 0; i < spans.size(); ++i) {
        if (i + 1 < spans.size() || spans.at(i).end <= size - closingPause) {
            decoded = spans.at(i).end;
        }
    }
    if (decoded == 0) {
        return QList<SpeechWord>{};
    }
    auto words = SpeechWorker::recognizeWith(engine, samples.first(size_t(decoded)), task);
    if (!words) {
        decoded = 0;
    }
    return words;
}

} // namespace tolvane
