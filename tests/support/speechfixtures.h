#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace tolvane::test {

// A word of a fixture and when it is really spoken, in seconds.
struct SpokenWord {
    QString text;
    double start = 0.0;
    double end = 0.0;
};

// 16 kHz mono 16-bit samples and the words spoken in them.
struct SpeechFixture {
    QByteArray samples;
    QList<SpokenWord> words;

    double duration() const { return double(samples.size()) / 2 / 16000; }
};

// Each word spoken alone by flite's `voice` (slt, rms, awb, kal16), cut to
// where its sound begins and ends, and spliced with `gaps[i]` seconds of
// silence after word i, `lead` seconds before the first: the true times of
// every word are known. Null when flite fails.
std::optional<SpeechFixture> spliceWords(const QString& voice, const QStringList& words,
                                         const QList<double>& gaps, double lead = 0.5);

// `text` spoken by flite's `voice` as one utterance.
std::optional<QByteArray> speak(const QString& voice, const QString& text);

// The samples of a 16-bit PCM WAV file (the "data" chunk); null when it is not one.
std::optional<QByteArray> readWavSamples(const QString& path);
bool writeWav(const QString& path, const QByteArray& samples);

// Lower-case words without the punctuation around them.
QStringList normalizedWords(const QString& text);

// Word error rate of `hypothesis` against `reference` (substitutions, insertions
// and deletions over the reference length), and the pairs (reference index,
// hypothesis index) of words a minimal edit leaves equal.
double wordErrorRate(const QStringList& reference, const QStringList& hypothesis);
QList<std::pair<int, int>> matchedWords(const QStringList& reference,
                                        const QStringList& hypothesis);

// Real read speech from pocketsphinx-testdata: file and true transcript.
struct RealClip {
    QString path;
    QString transcript;
};
QList<RealClip> librivoxClips();

// The sentences the flite fixtures speak, a few per voice.
QStringList fixtureSentences();

// The value at fraction p (0...1) of the sorted values.
double percentile(QList<double> values, double p);

} // namespace tolvane::test
