#pragma once

#include "platform/expected.h"
#include "platform/mediaerror.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <span>

namespace tolvane {

// One recognised word as an engine reports it; seconds from the first sample of
// the audio handed in.
struct SpeechWord {
    QString text;
    double start = 0.0;
    double end = 0.0;
    friend bool operator==(const SpeechWord&, const SpeechWord&) = default;
};

// A speech recogniser: 16 kHz mono 16-bit audio in, timed words out. One
// utterance at a time, at most about 20 s; an engine is used by one thread only.
class SpeechEngine {
public:
    static constexpr int sampleRate = 16000;

    // Errors of the engines: domain and codes.
    static inline const QString errorDomain = QStringLiteral("SpeechEngine");
    enum ErrorCode {
        failed = 1,
        // The model is not installed or cannot be loaded.
        modelUnavailable = 2,
    };

    virtual ~SpeechEngine() = default;

    // Starts a new input: forgets what the engine learnt about the previous
    // one's channel (noise level, loudness).
    virtual void startInput() = 0;

    // The words spoken in one utterance, lower case, without fillers, silence
    // markers or pronunciation variants.
    virtual Expected<QList<SpeechWord>, MediaError> recognize(std::span<const qint16> samples) = 0;

    // Times the given words, spoken in this order in the utterance. Words the
    // engine cannot model come back with start == end == -1; the caller places
    // them. Fails when the words cannot be matched to the audio.
    virtual Expected<QList<SpeechWord>, MediaError> align(std::span<const qint16> samples,
                                                          const QStringList& words) = 0;
};

// The engine of this platform: pocketsphinx with its en-US model. Loading takes
// about half a second and 100 MB; do it off the main thread.
Expected<std::unique_ptr<SpeechEngine>, MediaError> createPocketSphinxEngine();

} // namespace tolvane
