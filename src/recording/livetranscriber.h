#pragma once

#include "platform/cancellation.h"
#include "platform/speechworker.h"
#include "recording/ondevicetranscriber.h"

#include <QByteArray>
#include <QFuture>
#include <QObject>

#include <QCoro/QCoroTask>

namespace tolvane {

// Transcribes a dictation while it is recorded. Each stretch of speech that a
// pause has closed is decoded on the speech worker at once, so that at the
// stop only the speech since the last pause is left: the text follows the stop
// by the time that stretch takes, not by the whole clip's. The words come out
// as a transcription of the whole clip would give them (the engine decodes
// pause-separated utterances one by one either way).
class LiveTranscriber : public QObject {
    Q_OBJECT
public:
    using Transcription = Expected<OnDeviceTranscriber::Transcription, MediaError>;

    // Quiet after speech that closes a stretch for early decoding. Longer than
    // the pauses inside a sentence, so a stretch is usually a whole sentence.
    static constexpr double closingPauseSeconds = 0.6;

    explicit LiveTranscriber(SpeechWorker& worker = SpeechWorker::shared(),
                             QObject* parent = nullptr);
    ~LiveTranscriber() override;

    // Starts on a new recording; whatever the last one left is dropped.
    void begin();
    // Samples just recorded (16 kHz mono 16-bit), in order.
    void hear(const QByteArray& samples);
    // The whole recording's samples: decodes what is still undecoded and gives
    // the clip's transcription. Fails with MediaError::cancelled() when
    // begin() or the destructor comes first.
    QCoro::Task<Transcription> finish(QByteArray samples);
    // The same for the voice recorder's WAV file at `path`, read off the
    // calling thread. Any other file, or a locale the engine lacks, is
    // transcribed whole the usual way, which reports what is wrong.
    QCoro::Task<Transcription> finishFile(QString path, QString locale);

    // Seconds from the start of the recording that are decoded.
    double decodedSeconds() const { return double(m_offset) / SpeechEngine::sampleRate; }

    // The engine's work for one look at the undecoded samples: the words of
    // every stretch of speech that ends at least closingPauseSeconds before
    // the samples do (or has another after it), and in `decoded` the number of
    // samples those words cover; quiet with no speech in it is passed over,
    // all but its last second.
    static SpeechResult decodeClosed(SpeechEngine& engine, std::span<const qint16> samples,
                                     qsizetype& decoded, const CancelHandle& task);

private:
    void lookAhead();

    SpeechWorker& m_worker;
    // Samples after m_offset, not yet decoded.
    QByteArray m_pending;
    qsizetype m_offset = 0;
    // Pending samples at the last look; the next waits for half a second more.
    qsizetype m_lookedAt = 0;
    QList<SpeechWord> m_words;
    // The look on the worker, if one runs.
    QFuture<void> m_looking;
    CancelHandle m_cancel;
    // A look failed: finish() decodes the whole clip instead.
    bool m_failed = false;
    quint64 m_generation = 0;
};

} // namespace tolvane
