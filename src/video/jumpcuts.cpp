#include "video/jumpcuts.h"

#include "platform/pcmreader.h"
#include "video/loudnessmeter.h"

#include <QtConcurrent/QtConcurrentRun>

#include <QCoro/QCoroFuture>

#include <algorithm>
#include <cmath>

namespace tolvane {

namespace {

// Speech must stand this far above the quiet parts for a cut to be trusted.
constexpr double minimumContrast = 8.0;
// Below the loudest speech by this much is no longer speech.
constexpr double speechDynamicRange = 25.0;
// Kept stretches this short are clicks or breaths, not speech.
constexpr double shortestKept = 0.25;

QList<MediaTimeRange> toMediaRanges(const QList<JumpCuts::Range>& ranges) {
    QList<MediaTimeRange> out;
    out.reserve(ranges.size());
    for (const JumpCuts::Range& r : ranges) {
        out.append(MediaTimeRange::fromSeconds(r.start, r.end));
    }
    return out;
}

} // namespace

QList<JumpCuts::Range> JumpCuts::keptRanges(const QList<double>& loudness, double rangeStart,
                                            double rangeEnd, double window, double minGap,
                                            double margin) {
    const QList<Range> whole{{rangeStart, rangeEnd}};
    const qsizetype n = loudness.size();
    if (n < 5 || !(window > 0.0)) {
        return whole;
    }
    QList<double> sorted = loudness;
    std::sort(sorted.begin(), sorted.end());
    const double p10 = sorted.at(n / 10);
    const double p90 = sorted.at((9 * n) / 10);
    if (!(p90 - p10 > minimumContrast)) {
        return whole;
    }
    const double threshold = std::max(p90 - speechDynamicRange, p10 + minimumContrast);

    QList<Range> stretches;
    bool speaking = false;
    double stretchStart = 0.0;
    for (qsizetype i = 0; i < n; ++i) {
        const double begin = rangeStart + window * static_cast<double>(i);
        const bool speech = loudness.at(i) > threshold;
        if (speech && !speaking) {
            stretchStart = begin;
            speaking = true;
        } else if (!speech && speaking) {
            stretches.append({stretchStart, begin});
            speaking = false;
        }
    }
    if (speaking) {
        stretches.append({stretchStart, rangeStart + window * static_cast<double>(n)});
    }
    if (stretches.isEmpty()) {
        return whole;
    }

    QList<Range> merged;
    for (const Range& stretch : stretches) {
        const Range widened{std::max(rangeStart, stretch.start - margin),
                            std::min(rangeEnd, stretch.end + margin)};
        if (merged.isEmpty() || widened.start - merged.last().end >= minGap) {
            merged.append(widened);
        } else {
            merged.last().end = std::max(merged.last().end, widened.end);
        }
    }
    QList<Range> kept;
    for (const Range& range : merged) {
        if (range.end - range.start > shortestKept) {
            kept.append(range);
        }
    }
    return kept.isEmpty() ? whole : kept;
}

Expected<QList<MediaTimeRange>, MediaError>
JumpCuts::speechRangesBlocking(const MediaAsset& asset, const MediaTimeRange& range, double window,
                               double minGap, double margin, const CancelHandle& task) {
    const QList<MediaTimeRange> whole{range};
    auto reader = PcmReader::create(asset);
    if (!reader) {
        return Unexpected(std::move(reader).error());
    }
    if (!(*reader)->hasAudio() || !(*reader)->start(range, PcmFormat{})) {
        return whole;
    }
    LoudnessMeter meter;
    PcmBuffer buffer;
    for (;;) {
        if (isCancelled(task)) {
            return Unexpected(MediaError::cancelled());
        }
        auto more = (*reader)->read(buffer);
        if (!more) {
            // Judging from the part read so far would cut away everything after
            // it as if it were a pause.
            return whole;
        }
        if (!*more) {
            break;
        }
        const auto perChannel = static_cast<qint64>(std::trunc(window * buffer.sampleRate));
        meter.setWindowSamples(perChannel * buffer.channels);
        meter.addSamples(reinterpret_cast<const qint16*>(buffer.data.constData()),
                         buffer.data.size() / 2);
    }
    meter.finish();
    return toMediaRanges(keptRanges(meter.values(), range.startSeconds(), range.endSeconds(),
                                    window, minGap, margin));
}

QCoro::Task<Expected<QList<MediaTimeRange>, MediaError>>
JumpCuts::speechRanges(MediaAsset asset, MediaTimeRange range, double window, double minGap,
                       double margin, CancelHandle task) {
    // Two statements on purpose: g++ 12 miscompiles "co_return co_await" of a
    // non-trivial value.
    QFuture<Expected<QList<MediaTimeRange>, MediaError>> work =
        QtConcurrent::run([asset, range, window, minGap, margin, task] {
            return speechRangesBlocking(asset, range, window, minGap, margin, task);
        });
    auto result = co_await work;
    co_return result;
}

} // namespace tolvane
