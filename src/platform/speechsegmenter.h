#pragma once

#include <QList>

#include <span>

namespace tolvane {

// Finds where someone speaks in 16 kHz mono audio and cuts it into utterances a
// speech engine can take: silence trimmed (decoding silence invents words) and
// no utterance longer than maxSeconds, split at the quietest moment.
class SpeechSegmenter {
public:
    struct Span {
        qsizetype begin = 0; // first sample
        qsizetype end = 0;   // one past the last sample
        friend bool operator==(const Span&, const Span&) = default;
    };

    static constexpr double defaultMaxSeconds = 20.0;

    // The utterances in order; empty for audio without speech.
    static QList<Span> utterances(std::span<const qint16> samples, int sampleRate,
                                  double maxSeconds = defaultMaxSeconds);
};

} // namespace tolvane
