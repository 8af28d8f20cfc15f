#pragma once

#include <QString>

namespace tolvane::OnDeviceTranscriber {

// One timed piece of recognised text; times in seconds from the start of the
// transcribed audio.
struct Segment {
    QString text;
    double start = 0.0;
    double duration = 0.0;

    friend bool operator==(const Segment&, const Segment&) = default;
};

} // namespace tolvane::OnDeviceTranscriber
