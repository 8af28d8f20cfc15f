#include "platform/speechsegmenter.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tolvane {

namespace {

// Loudness is judged per 10 ms frame, the engine's own frame rate.
constexpr double frameSeconds = 0.01;
// Quieter than this at its loudest, a clip holds no speech worth decoding.
constexpr double speechPeakFloorDb = -55.0;
// Pauses shorter than this stay inside an utterance; words have gaps too.
constexpr double bridgedGapSeconds = 0.3;
// Bursts shorter than this are clicks, not speech.
constexpr double shortestBurstSeconds = 0.08;
// Kept around speech so soft onsets and endings (f, s, h) are not cut off.
constexpr double paddingSeconds = 0.2;

double percentile(std::vector<double> values, double p) {
    const auto at = values.begin() + qsizetype(p * double(values.size() - 1));
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

} // namespace

QList<SpeechSegmenter::Span> SpeechSegmenter::utterances(std::span<const qint16> samples,
                                                         int sampleRate, double maxSeconds) {
    const qsizetype frameLength = qMax<qsizetype>(1, qRound(sampleRate * frameSeconds));
    const qsizetype frameCount = qsizetype(samples.size()) / frameLength;
    if (frameCount == 0) {
        return {};
    }
    std::vector<double> db(static_cast<size_t>(frameCount));
    for (qsizetype f = 0; f < frameCount; ++f) {
        double sum = 0.0;
        for (qsizetype i = 0; i < frameLength; ++i) {
            const double s = samples[size_t(f * frameLength + i)];
            sum += s * s;
        }
        db[size_t(f)] = 10.0 * std::log10(sum / double(frameLength) / (32768.0 * 32768.0) + 1e-10);
    }
    const double floorDb = percentile(db, 0.10);
    const double peakDb = percentile(db, 0.98);
    if (peakDb < speechPeakFloorDb) {
        return {};
    }
    const double threshold = std::max(floorDb + 6.0, floorDb + 0.3 * (peakDb - floorDb));

    // Runs of loud frames, short gaps bridged, clicks dropped.
    struct Run {
        qsizetype begin, end;
    };
    std::vector<Run> runs;
    const auto frames = [&](double seconds) {
        return qsizetype(std::lround(seconds / frameSeconds));
    };
    for (qsizetype f = 0; f < frameCount;) {
        if (db[size_t(f)] < threshold) {
            ++f;
            continue;
        }
        qsizetype end = f;
        while (end < frameCount && db[size_t(end)] >= threshold) {
            ++end;
        }
        if (!runs.empty() && f - runs.back().end < frames(bridgedGapSeconds)) {
            runs.back().end = end;
        } else {
            runs.push_back({f, end});
        }
        f = end;
    }
    std::erase_if(runs,
                  [&](const Run& r) { return r.end - r.begin < frames(shortestBurstSeconds); });

    // Padding, merging what then touches.
    std::vector<Run> padded;
    for (const Run& r : runs) {
        Run p{std::max<qsizetype>(0, r.begin - frames(paddingSeconds)),
              std::min(frameCount, r.end + frames(paddingSeconds))};
        if (!padded.empty() && p.begin <= padded.back().end) {
            padded.back().end = p.end;
        } else {
            padded.push_back(p);
        }
    }

    // Long stretches split at the quietest moment of their second half.
    const qsizetype maxFrames = std::max<qsizetype>(frames(1.0), frames(maxSeconds));
    const auto smoothed = [&](qsizetype f) {
        double sum = 0.0;
        int n = 0;
        for (qsizetype k = std::max<qsizetype>(0, f - 5); k <= std::min(frameCount - 1, f + 5);
             ++k) {
            sum += db[size_t(k)];
            ++n;
        }
        return sum / n;
    };
    QList<Span> out;
    for (Run r : padded) {
        while (r.end - r.begin > maxFrames) {
            qsizetype cut = r.begin + maxFrames / 2;
            double quietest = smoothed(cut);
            for (qsizetype f = cut + 1; f < r.begin + maxFrames; ++f) {
                if (const double e = smoothed(f); e < quietest) {
                    quietest = e;
                    cut = f;
                }
            }
            out << Span{r.begin * frameLength, cut * frameLength};
            r.begin = cut;
        }
        out << Span{r.begin * frameLength,
                    r.end == frameCount ? qsizetype(samples.size()) : r.end * frameLength};
    }
    return out;
}

} // namespace tolvane
