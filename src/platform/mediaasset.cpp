#include "platform/mediaasset.h"

#include "platform/ffmpegsupport.h"

#include <cmath>

namespace tolvane {

namespace {

QTransform preferredTransform(const AVStream* stream) {
    const double degrees = ffmpeg::uprightRotation(stream);
    return degrees == 0.0 ? QTransform() : QTransform().rotate(degrees);
}

double frameRate(const AVStream* stream) {
    AVRational rate = stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) {
        rate = stream->r_frame_rate;
    }
    return rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0.0;
}

double duration(const AVFormatContext* format) {
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
        return static_cast<double>(format->duration) / AV_TIME_BASE;
    }
    double longest = 0.0;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
            longest = std::max(longest,
                               static_cast<double>(stream->duration) * av_q2d(stream->time_base));
        }
    }
    return longest;
}

} // namespace

QSizeF VideoTrackInfo::uprightSize() const {
    const QRectF upright = preferredTransform.mapRect(QRectF(QPointF(0, 0), naturalSize));
    return QSizeF(std::abs(upright.width()), std::abs(upright.height()));
}

Expected<AssetInfo, MediaError> MediaAsset::load() const {
    auto format = ffmpeg::openInput(m_path);
    if (!format) {
        return Unexpected(std::move(format).error());
    }
    AssetInfo info;
    info.duration = duration(format->get());
    for (unsigned i = 0; i < (*format)->nb_streams; ++i) {
        const AVStream* stream = (*format)->streams[i];
        const AVCodecParameters* parameters = stream->codecpar;
        if (parameters->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            VideoTrackInfo track;
            track.streamIndex = static_cast<int>(i);
            track.naturalSize = QSize(parameters->width, parameters->height);
            track.preferredTransform = preferredTransform(stream);
            track.frameRate = frameRate(stream);
            info.videoTracks.append(track);
        } else if (parameters->codec_type == AVMEDIA_TYPE_AUDIO) {
            AudioTrackInfo track;
            track.streamIndex = static_cast<int>(i);
            track.sampleRate = parameters->sample_rate;
            track.channels = parameters->ch_layout.nb_channels;
            info.audioTracks.append(track);
        }
    }
    return info;
}

} // namespace tolvane
