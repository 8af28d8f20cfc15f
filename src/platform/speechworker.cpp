#include "platform/speechworker.h"

#include "platform/speechsegmenter.h"

#include <QElapsedTimer>
#include <QPromise>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

std::span<const qint16> samplesOf(const QByteArray& bytes) {
    return {reinterpret_cast<const qint16*>(bytes.constData()), size_t(bytes.size() / 2)};
}

} // namespace

struct SpeechWorker::Queued {
    Job job;
    QPromise<SpeechResult> promise;
};

SpeechWorker::SpeechWorker(EngineFactory factory)
    : m_factory(std::move(factory))
    , m_thread([this] { run(); }) {}

SpeechWorker::~SpeechWorker() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

SpeechWorker& SpeechWorker::shared() {
    static SpeechWorker worker;
    return worker;
}

QFuture<SpeechResult> SpeechWorker::submit(Job job) {
    auto queued = std::make_shared<Queued>();
    queued->job = std::move(job);
    queued->promise.start();
    QFuture<SpeechResult> future = queued->promise.future();
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            queued->promise.addResult(Unexpected(MediaError::cancelled()));
            queued->promise.finish();
            return future;
        }
        m_queue.push_back(std::move(queued));
    }
    m_wake.notify_one();
    return future;
}

QFuture<SpeechResult> SpeechWorker::recognize(QByteArray samples, CancelHandle task) {
    return submit([samples = std::move(samples), task](SpeechEngine& engine) {
        return recognizeWith(engine, samplesOf(samples), task);
    });
}

QFuture<SpeechResult> SpeechWorker::align(QByteArray samples, QStringList words,
                                          CancelHandle task) {
    return submit(
        [samples = std::move(samples), words = std::move(words), task](SpeechEngine& engine) {
            return alignWith(engine, samplesOf(samples), words, task);
        });
}

void SpeechWorker::preload() {
    if (loadSeconds() > 0) {
        return;
    }
    // An empty job: loading happens before any job runs.
    submit([](SpeechEngine&) { return SpeechResult(QList<SpeechWord>{}); });
}

double SpeechWorker::loadSeconds() const {
    std::lock_guard lock(m_mutex);
    return m_loadSeconds;
}

void SpeechWorker::run() {
    std::unique_ptr<SpeechEngine> engine;
    for (;;) {
        std::shared_ptr<Queued> next;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping) {
                for (const auto& queued : m_queue) {
                    queued->promise.addResult(Unexpected(MediaError::cancelled()));
                    queued->promise.finish();
                }
                m_queue.clear();
                return;
            }
            next = std::move(m_queue.front());
            m_queue.pop_front();
        }
        SpeechResult result;
        if (!engine) {
            // A failed load is tried again by the next job: the model may have
            // been installed meanwhile.
            QElapsedTimer clock;
            clock.start();
            auto created = m_factory();
            if (created) {
                engine = std::move(created).value();
                std::lock_guard lock(m_mutex);
                m_loadSeconds = double(clock.nsecsElapsed()) / 1e9;
            } else {
                result = Unexpected(created.error());
            }
        }
        if (engine) {
            result = next->job(*engine);
        }
        next->promise.addResult(std::move(result));
        next->promise.finish();
    }
}

SpeechResult SpeechWorker::recognizeWith(SpeechEngine& engine, std::span<const qint16> samples,
                                         const CancelHandle& task) {
    engine.startInput();
    QList<SpeechWord> words;
    const auto spans = SpeechSegmenter::utterances(samples, SpeechEngine::sampleRate);
    for (const SpeechSegmenter::Span& span : spans) {
        if (isCancelled(task)) {
            return Unexpected(MediaError::cancelled());
        }
        auto part =
            engine.recognize(samples.subspan(size_t(span.begin), size_t(span.end - span.begin)));
        if (!part) {
            return part;
        }
        const double offset = double(span.begin) / SpeechEngine::sampleRate;
        for (SpeechWord w : *part) {
            w.start += offset;
            w.end += offset;
            words << w;
        }
    }
    return words;
}

SpeechResult SpeechWorker::alignWith(SpeechEngine& engine, std::span<const qint16> samples,
                                     const QStringList& words, const CancelHandle& task) {
    if (isCancelled(task)) {
        return Unexpected(MediaError::cancelled());
    }
    const auto spans = SpeechSegmenter::utterances(
        samples, SpeechEngine::sampleRate, double(samples.size()) / SpeechEngine::sampleRate);
    if (spans.isEmpty() || words.isEmpty()) {
        return Unexpected(MediaError{SpeechEngine::errorDomain, SpeechEngine::failed,
                                     u"there is no speech to align"_s});
    }
    engine.startInput();
    const qsizetype begin = spans.first().begin;
    const qsizetype end = spans.last().end;
    auto aligned = engine.align(samples.subspan(size_t(begin), size_t(end - begin)), words);
    if (!aligned) {
        return aligned;
    }
    const double offset = double(begin) / SpeechEngine::sampleRate;
    const double stretchEnd = double(end) / SpeechEngine::sampleRate;
    QList<SpeechWord> out = *aligned;
    for (SpeechWord& w : out) {
        if (w.start >= 0) {
            w.start += offset;
            w.end += offset;
        }
    }
    // Unmodelled words: each run of them shares the gap between its timed
    // neighbours by length.
    for (qsizetype i = 0; i < out.size();) {
        if (out.at(i).start >= 0) {
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < out.size() && out.at(j).start < 0) {
            ++j;
        }
        const double from = i > 0 ? out.at(i - 1).end : offset;
        const double to = std::max(from, j < out.size() ? out.at(j).start : stretchEnd);
        double weight = 0;
        for (qsizetype k = i; k < j; ++k) {
            weight += std::max<qsizetype>(2, out.at(k).text.size());
        }
        double t = from;
        for (qsizetype k = i; k < j; ++k) {
            out[k].start = t;
            t += (to - from) * double(std::max<qsizetype>(2, out.at(k).text.size())) / weight;
            out[k].end = t;
        }
        i = j;
    }
    return out;
}

} // namespace tolvane
