#include "platform/mediatime.h"

#include <cmath>

namespace tolvane {

MediaTime MediaTime::fromSeconds(double seconds, int timescale) {
    if (!std::isfinite(seconds) || timescale <= 0) {
        return MediaTime{0, timescale > 0 ? timescale : defaultTimescale};
    }
    return MediaTime{static_cast<qint64>(std::llround(seconds * timescale)), timescale};
}

double MediaTime::seconds() const {
    return timescale > 0 ? static_cast<double>(value) / timescale : 0.0;
}

MediaTimeRange MediaTimeRange::fromSeconds(double start, double end, int timescale) {
    return MediaTimeRange{MediaTime::fromSeconds(start, timescale),
                          MediaTime::fromSeconds(end, timescale)};
}

} // namespace tolvane
