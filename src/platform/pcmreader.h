#pragma once

#include "platform/expected.h"
#include "platform/mediaasset.h"
#include "platform/mediaerror.h"
#include "platform/mediatime.h"

#include <QByteArray>

#include <memory>

namespace tolvane {

// The form samples are delivered in: interleaved signed 16-bit little-endian.
// A zero rate or channel count keeps the track's own.
struct PcmFormat {
    int sampleRate = 0;
    int channels = 0;
};

struct PcmBuffer {
    int sampleRate = 0;
    int channels = 0;
    QByteArray data;

    qsizetype frameCount() const { return channels > 0 ? data.size() / (2 * channels) : 0; }
};

// Reads the first audio track of an asset over a time range, decoded and
// converted, one buffer at a time in a single pass. Blocking: use it on a worker
// thread. Reading in two steps lets callers tell "the file cannot be opened"
// (create) from "this file's audio cannot be decoded" (start).
class PcmReader {
public:
    ~PcmReader();
    PcmReader(const PcmReader&) = delete;
    PcmReader& operator=(const PcmReader&) = delete;

    // Opens the file. Succeeds for a readable file without audio; see hasAudio().
    static Expected<std::unique_ptr<PcmReader>, MediaError> create(const MediaAsset& asset);

    bool hasAudio() const;

    // Sets up decoding of [range.start, range.end) in the given format.
    Expected<Done, MediaError> start(const MediaTimeRange& range, PcmFormat format);

    // The next buffer; false once the range is exhausted. Buffers are never empty.
    Expected<bool, MediaError> read(PcmBuffer& buffer);

private:
    PcmReader();
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace tolvane
