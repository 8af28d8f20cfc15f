#pragma once

#include "platform/cancellation.h"
#include "platform/mediaasset.h"

#include <QImage>
#include <QList>

namespace tolvane {

// The small frames of a trim bar: one picture at the centre of each of `count`
// equal slices of `length` seconds, upright and fitted into 160 x 160.
class Filmstrip {
public:
    static constexpr int imageSize = 160;

    // The slice centres, rounded to 1/600 s as media times are.
    static QList<double> times(int count, double length);

    // Blocking: run it on a worker thread. A time without a picture is left out,
    // so the strip may be shorter than `count`; a file without pictures gives
    // none. A cancelled generation returns nothing.
    static QList<QImage> generate(const MediaAsset& asset, int count, double length,
                                  const CancelHandle& task = {});
};

} // namespace tolvane
