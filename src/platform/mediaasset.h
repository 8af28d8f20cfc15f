#pragma once

#include "platform/expected.h"
#include "platform/mediaerror.h"
#include "platform/mediatime.h"

#include <QList>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QTransform>

namespace tolvane {

struct VideoTrackInfo {
    int streamIndex = -1;
    // Size of the stored picture, before the preferred transform.
    QSize naturalSize;
    // Rotation that shows the stored picture upright (from the display matrix).
    QTransform preferredTransform;
    double frameRate = 0.0;

    // The size of the picture as it is meant to be seen.
    QSizeF uprightSize() const;
};

struct AudioTrackInfo {
    int streamIndex = -1;
    int sampleRate = 0;
    int channels = 0;
};

// What a movie file holds. Tracks are in file order; "first" means first here.
struct AssetInfo {
    double duration = 0.0;
    QList<VideoTrackInfo> videoTracks;
    QList<AudioTrackInfo> audioTracks;

    MediaTime durationTime() const { return MediaTime::fromSeconds(duration); }
};

// A movie file. Creating one is free; load() reads the file's facts, and the
// readers (PcmReader, FrameDecoder) open the file on their own so each can live
// on its own worker thread.
class MediaAsset {
public:
    MediaAsset() = default;
    explicit MediaAsset(QString path)
        : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }

    // Blocking: call it off the main thread.
    Expected<AssetInfo, MediaError> load() const;

    friend bool operator==(const MediaAsset&, const MediaAsset&) = default;

private:
    QString m_path;
};

} // namespace tolvane
