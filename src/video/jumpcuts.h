#pragma once

#include "platform/cancellation.h"
#include "platform/expected.h"
#include "platform/mediaasset.h"
#include "platform/mediaerror.h"
#include "platform/mediatime.h"

#include <QList>

#include <QCoro/QCoroTask>

namespace tolvane {

// Finds the stretches of a recording in which someone speaks, from the
// loudness of its audio relative to the recording's own loudness, so that the
// pauses between them can be cut out. Whenever the audio does not allow a
// judgement the whole range is kept: a wrong cut loses speech, a missed one
// only leaves a pause.
class JumpCuts {
public:
    // The parameters the composition uses.
    static constexpr double defaultWindow = 0.05;
    static constexpr double defaultMinGap = 0.6;
    static constexpr double defaultMargin = 0.12;

    struct Range {
        double start = 0.0;
        double end = 0.0;
        friend bool operator==(const Range&, const Range&) = default;
    };

    // The kept ranges inside `range`, as times with timescale 600. Fails only
    // when the file cannot be opened. Runs on the thread pool; cancelling the
    // handle ends it with MediaError::cancelled().
    static QCoro::Task<Expected<QList<MediaTimeRange>, MediaError>>
    speechRanges(MediaAsset asset, MediaTimeRange range, double window = defaultWindow,
                 double minGap = defaultMinGap, double margin = defaultMargin,
                 CancelHandle task = {});

    // The same, blocking: for worker threads and command-line tools.
    static Expected<QList<MediaTimeRange>, MediaError>
    speechRangesBlocking(const MediaAsset& asset, const MediaTimeRange& range,
                         double window = defaultWindow, double minGap = defaultMinGap,
                         double margin = defaultMargin, const CancelHandle& task = {});

    // The decision itself, from one loudness value (dBFS) per window, window i
    // beginning at rangeStart + window * i.
    static QList<Range> keptRanges(const QList<double>& loudness, double rangeStart,
                                   double rangeEnd, double window, double minGap, double margin);
};

} // namespace tolvane
