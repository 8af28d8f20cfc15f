#include "video/filmstrip.h"

#include "platform/framedecoder.h"
#include "platform/mediatime.h"

namespace tolvane {

QList<double> Filmstrip::times(int count, double length) {
    QList<double> out;
    for (int i = 0; i < count; ++i) {
        out.append(MediaTime::fromSeconds(length * (i + 0.5) / count).seconds());
    }
    return out;
}

QList<QImage> Filmstrip::generate(const MediaAsset& asset, int count, double length,
                                  const CancelHandle& task) {
    QList<QImage> images;
    if (count <= 0) {
        return images;
    }
    auto decoder = FrameDecoder::create(asset, {QSize(imageSize, imageSize)});
    if (!decoder) {
        return images;
    }
    // One decoder and increasing times: nearby frames decode forward instead of
    // seeking again.
    for (double time : times(count, length)) {
        if (isCancelled(task)) {
            return {};
        }
        if (auto image = (*decoder)->frameAt(time)) {
            images.append(std::move(*image));
        }
    }
    return images;
}

} // namespace tolvane
