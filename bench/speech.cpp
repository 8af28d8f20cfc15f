// Measures on-device transcription in one run and prints each figure as a
// ratio, one per line:
//   - real-time factor on 60 s of real read speech (the pocketsphinx-testdata
//     clips, concatenated with short pauses until a minute is reached),
//   - word timing error (median, 90th percentile) on spliced flite speech
//     whose true word times are known, recognised and aligned, against the
//     20 ms goal,
//   - word error rate on the real clips,
//   - the engine's first-use load time and the process's peak memory.

#include "platform/speechworker.h"
#include "recording/ondevicetranscriber.h"

#include "speechfixtures.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

using namespace tolvane;

namespace {

constexpr double goalTimingError = 0.020;

// Peak resident memory of this process in MB.
double peakMegabytes() {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    return 0;
}

void print(const char* what, double ratio) {
    std::printf("%s: %.2fx\n", what, ratio);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    SpeechWorker& worker = SpeechWorker::shared();

    // First use: loading the model with a tiny job.
    QElapsedTimer clock;
    clock.start();
    {
        auto warmup = worker.recognize(QByteArray(3200, '\0'));
        warmup.waitForFinished();
    }
    const double firstUse = double(clock.nsecsElapsed()) / 1e9;

    // Real speech: a minute of the clips, back to back with 0.4 s pauses.
    const auto clips = test::librivoxClips();
    if (clips.isEmpty()) {
        std::fprintf(stderr, "pocketsphinx-testdata is not installed\n");
        return 1;
    }
    QByteArray minute;
    QList<QByteArray> clipSamples;
    for (const auto& clip : clips) {
        clipSamples << test::readWavSamples(clip.path).value_or(QByteArray());
    }
    for (qsizetype i = 0; minute.size() < 60 * 16000 * 2; ++i) {
        minute += clipSamples.at(i % clipSamples.size()) + QByteArray(int(0.4 * 16000) * 2, '\0');
    }
    minute.truncate(60 * 16000 * 2);
    const QString minutePath = dir.filePath(u"minute.wav"_s);
    test::writeWav(minutePath, minute);
    clock.restart();
    const auto long_ = OnDeviceTranscriber::transcribeBlocking(minutePath, u"en-US"_s);
    const double rtf = double(clock.nsecsElapsed()) / 1e9 / 60.0;
    if (!long_) {
        std::fprintf(stderr, "transcription failed: %s\n", qPrintable(long_.error().description));
        return 1;
    }

    // Word error rate, clip by clip.
    int words = 0;
    double wrong = 0;
    for (const auto& clip : clips) {
        const auto result = OnDeviceTranscriber::transcribeBlocking(clip.path, u"en-US"_s);
        const QStringList reference = test::normalizedWords(clip.transcript);
        const QStringList hypothesis =
            result ? test::normalizedWords(result->transcript) : QStringList();
        words += int(reference.size());
        wrong += test::wordErrorRate(reference, hypothesis) * double(reference.size());
    }

    // Word timing on spliced flite speech: recognised, and aligned to the
    // true text.
    QList<double> recognised;
    QList<double> aligned;
    const QList<double> gaps{0.12, 0.25, 0.4, 0.15, 0.8};
    for (const char* voice : {"slt", "rms", "awb", "kal16"}) {
        for (const QString& sentence : test::fixtureSentences()) {
            const QStringList spoken = sentence.split(u' ');
            const auto fixture = test::spliceWords(QString::fromLatin1(voice), spoken, gaps);
            if (!fixture) {
                std::fprintf(stderr, "flite failed\n");
                return 1;
            }
            const QString path = dir.filePath(u"f.wav"_s);
            test::writeWav(path, fixture->samples);
            if (const auto result = OnDeviceTranscriber::transcribeBlocking(path, u"en-US"_s)) {
                QStringList hypothesis;
                for (const auto& s : result->segments) {
                    hypothesis << test::normalizedWords(s.text).join(u' ');
                }
                for (const auto& [r, h] : test::matchedWords(spoken, hypothesis)) {
                    const auto& s = result->segments.at(h);
                    recognised << std::abs(s.start - fixture->words.at(r).start)
                               << std::abs(s.start + s.duration - fixture->words.at(r).end);
                }
            }
            if (const auto result = OnDeviceTranscriber::alignBlocking(path, sentence)) {
                for (qsizetype i = 0; i < result->segments.size(); ++i) {
                    const auto& s = result->segments.at(i);
                    aligned << std::abs(s.start - fixture->words.at(i).start)
                            << std::abs(s.start + s.duration - fixture->words.at(i).end);
                }
            }
        }
    }

    std::printf("# real-time factor %.3f; first use %.2f s; WER %.1f %% of %d words; "
                "timing median %.0f / 90th %.0f ms recognised, %.0f / %.0f ms aligned; "
                "peak memory %.0f MB\n",
                rtf, firstUse, wrong / words * 100, words, test::percentile(recognised, 0.5) * 1000,
                test::percentile(recognised, 0.9) * 1000, test::percentile(aligned, 0.5) * 1000,
                test::percentile(aligned, 0.9) * 1000, peakMegabytes());
    print("real-time factor, 60 s of real speech (processing time / audio time; goal <= 0.25)",
          rtf);
    print("word timing error median, recognised / 20 ms goal",
          test::percentile(recognised, 0.5) / goalTimingError);
    print("word timing error 90th percentile, recognised / 20 ms goal",
          test::percentile(recognised, 0.9) / goalTimingError);
    print("word timing error median, aligned / 20 ms goal",
          test::percentile(aligned, 0.5) / goalTimingError);
    print("word timing error 90th percentile, aligned / 20 ms goal",
          test::percentile(aligned, 0.9) / goalTimingError);
    print("word error rate, real clips (wrong words / words)", wrong / words);
    print("first-use load time / 1 s", firstUse);
    print("peak memory / 110 MB", peakMegabytes() / 110.0);
    return 0;
}
