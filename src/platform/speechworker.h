#pragma once

#include "platform/cancellation.h"
#include "platform/expected.h"
#include "platform/mediaerror.h"
#include "platform/speechengine.h"

#include <QByteArray>
#include <QFuture>
#include <QList>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

namespace tolvane {

using SpeechResult = Expected<QList<SpeechWord>, MediaError>;

// One warm speech engine on a thread of its own. The engine is loaded by the
// first job, never on the caller's thread, and kept for the next ones; jobs
// wait their turn in a queue. Cancelling a job's handle ends it between
// utterances with MediaError::cancelled().
class SpeechWorker {
public:
    using EngineFactory = std::function<Expected<std::unique_ptr<SpeechEngine>, MediaError>()>;
    using Job = std::function<SpeechResult(SpeechEngine&)>;

    explicit SpeechWorker(EngineFactory factory = createPocketSphinxEngine);
    // Jobs still queued end with MediaError::cancelled(); the running one is
    // waited for.
    ~SpeechWorker();
    SpeechWorker(const SpeechWorker&) = delete;
    SpeechWorker& operator=(const SpeechWorker&) = delete;

    // The worker of the process, with the platform's engine.
    static SpeechWorker& shared();

    // The words of 16 kHz mono 16-bit samples, times from the first sample.
    QFuture<SpeechResult> recognize(QByteArray samples, CancelHandle task = {});
    // Times `words`, spoken in this order in the samples.
    QFuture<SpeechResult> align(QByteArray samples, QStringList words, CancelHandle task = {});
    // Any work with the engine.
    QFuture<SpeechResult> submit(Job job);

    // Loads the engine now, in the background, so that the next job need not
    // wait for it; nothing when it is loaded already.
    void preload();

    // Seconds the engine took to load; 0 until it has.
    double loadSeconds() const;

    // The work itself, on any engine: silence trimmed, long audio split at
    // pauses into utterances, the handle checked between them.
    static SpeechResult recognizeWith(SpeechEngine& engine, std::span<const qint16> samples,
                                      const CancelHandle& task);
    // The stretch from the first to the last speech is aligned as one; words
    // the engine cannot model share the time between their neighbours.
    static SpeechResult alignWith(SpeechEngine& engine, std::span<const qint16> samples,
                                  const QStringList& words, const CancelHandle& task);

private:
    struct Queued;
    void run();

    EngineFactory m_factory;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::shared_ptr<Queued>> m_queue;
    bool m_stopping = false;
    double m_loadSeconds = 0.0;
    std::thread m_thread;
};

} // namespace tolvane
