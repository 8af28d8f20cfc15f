#include "video/composition.h"

#include <algorithm>
#include <cmath>

namespace tolvane {

namespace {

double lerp(double a, double b, double u) {
    return a + (b - a) * u;
}

} // namespace

CropTransform TransformTimeline::at(double time) const {
    if (keys.isEmpty()) {
        return {};
    }
    switch (mode) {
    case Mode::fixed:
        return keys.first().transform;
    case Mode::ramp: {
        if (keys.size() < 2 || keys[1].time <= keys[0].time) {
            return keys.first().transform;
        }
        const double u =
            std::clamp((time - keys[0].time) / (keys[1].time - keys[0].time), 0.0, 1.0);
        const CropTransform& a = keys[0].transform;
        const CropTransform& b = keys[1].transform;
        // The matrices are interpolated: the scale and the output-space
        // translation (-origin * scale) each move linearly.
        const double scale = lerp(a.scale, b.scale, u);
        const double tx = lerp(a.origin.x() * a.scale, b.origin.x() * b.scale, u);
        const double ty = lerp(a.origin.y() * a.scale, b.origin.y() * b.scale, u);
        return {scale, QPointF(tx / scale, ty / scale)};
    }
    case Mode::steps: {
        const TransformKey* current = &keys.first();
        for (const TransformKey& key : keys) {
            if (key.time <= time) {
                current = &key;
            } else {
                break;
            }
        }
        return current->transform;
    }
    }
    return keys.first().transform;
}

double rampValue(const QList<Ramp>& ramps, double time) {
    if (ramps.isEmpty()) {
        return 1.0;
    }
    double value = ramps.first().from;
    for (const Ramp& ramp : ramps) {
        if (time < ramp.start) {
            break;
        }
        if (ramp.duration <= 0.0 || time >= ramp.start + ramp.duration) {
            value = ramp.to;
            continue;
        }
        return lerp(ramp.from, ramp.to, (time - ramp.start) / ramp.duration);
    }
    return value;
}

double Keyframes::at(double time) const {
    if (values.isEmpty() || duration <= 0.0 || time < begin) {
        return layerValue;
    }
    const double u = (time - begin) / duration;
    if (u >= 1.0) {
        return holdsAfter ? values.last() : layerValue;
    }
    const qsizetype n = std::min(values.size(), keyTimes.size());
    if (n == 0 || u <= keyTimes.first()) {
        return values.first();
    }
    for (qsizetype i = 0; i + 1 < n; ++i) {
        if (u < keyTimes[i + 1]) {
            const double span = keyTimes[i + 1] - keyTimes[i];
            return span <= 0.0 ? values[i + 1]
                               : lerp(values[i], values[i + 1], (u - keyTimes[i]) / span);
        }
    }
    return values[n - 1];
}

OverlayLayer::State OverlayLayer::at(double time) const {
    State state;
    if (kind == Kind::progressBar) {
        if (barDuration <= 0.0 || time < 0.0) {
            return state;
        }
        const double fraction = std::clamp(time / barDuration, 0.0, 1.0);
        state.opacity = 1.0;
        state.rect = QRectF(frame.topLeft(), QSizeF(frame.width() * fraction, frame.height()));
        return state;
    }
    if (images.isEmpty()) {
        return state;
    }
    state.opacity = std::clamp(opacity.at(time), 0.0, 1.0);
    const double s = scale.at(time);
    const QSizeF size = frame.size() * s;
    state.rect = QRectF(frame.center() - QPointF(size.width() / 2, size.height() / 2), size);
    state.imageIndex = 0;
    if (images.size() > 1 && imageDuration > 0.0) {
        const double u = (time - imageBegin) / imageDuration;
        const qsizetype n = std::min(images.size(), imageKeyTimes.size());
        for (qsizetype i = 0; i < n; ++i) {
            if (imageKeyTimes[i] <= u) {
                state.imageIndex = static_cast<int>(i);
            }
        }
    }
    return state;
}

int Composition::frameCount() const {
    if (!(duration > 0.0)) {
        return 0;
    }
    // A duration a rounding error above a whole frame count adds no frame.
    return static_cast<int>(std::ceil(duration * renderFrameRate - 1e-6));
}

} // namespace tolvane
