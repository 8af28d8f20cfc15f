#pragma once

#include <QtGlobal>

namespace tolvane {

// A rational media time. Seconds are the working unit; where a time has to be
// exact (kept ranges handed to the composition, trim ranges) it is stored as a
// count of 1/600 s, which divides evenly by the common frame rates.
struct MediaTime {
    static constexpr int defaultTimescale = 600;

    qint64 value = 0;
    int timescale = defaultTimescale;

    static MediaTime fromSeconds(double seconds, int timescale = defaultTimescale);
    double seconds() const;

    friend bool operator==(const MediaTime& a, const MediaTime& b) {
        return a.value * b.timescale == b.value * a.timescale;
    }
};

// A stretch of media time from start to end.
struct MediaTimeRange {
    MediaTime start;
    MediaTime end;

    static MediaTimeRange fromSeconds(double start, double end,
                                      int timescale = MediaTime::defaultTimescale);
    double startSeconds() const { return start.seconds(); }
    double endSeconds() const { return end.seconds(); }
    double durationSeconds() const { return end.seconds() - start.seconds(); }

    friend bool operator==(const MediaTimeRange&, const MediaTimeRange&) = default;
};

} // namespace tolvane
