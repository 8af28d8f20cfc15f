#pragma once

#include "platform/expected.h"
#include "platform/mediaasset.h"
#include "platform/mediaerror.h"

#include <QImage>
#include <QSize>

#include <memory>

namespace tolvane {

struct DecodedFrame {
    QImage image;
    // Presentation time of the frame in seconds.
    double time = 0.0;
};

// Decodes pictures of the first video track of an asset: the picture shown at a
// given time (thumbnails), or frame after frame (rendering). Pictures come out
// upright (the track's preferred transform applied) and, when a maximum size is
// given, scaled down so they fit in it. Blocking: use it on a worker thread.
class FrameDecoder {
public:
    struct Options {
        // The box the upright picture must fit in; invalid means full size.
        QSize maximumSize;
        bool applyTransform = true;
    };

    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // Fails when the file cannot be opened, has no video, or its video cannot
    // be decoded.
    static Expected<std::unique_ptr<FrameDecoder>, MediaError> create(const MediaAsset& asset,
                                                                      Options options);

    // Size of the images delivered (upright, fitted).
    QSize outputSize() const;

    // The frame on screen at the given time: the last one starting at or before
    // it (the first frame for earlier times). Requests in increasing order within
    // one stretch between key frames decode forward without seeking again.
    Expected<QImage, MediaError> frameAt(double seconds);

    // Positions sequential reading at the frame on screen at the given time.
    Expected<Done, MediaError> seek(double seconds);

    // The next frame in presentation order; false after the last.
    Expected<bool, MediaError> next(DecodedFrame& frame);

private:
    FrameDecoder();
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace tolvane
