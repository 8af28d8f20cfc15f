#pragma once

#include "platform/cancellation.h"
#include "platform/expected.h"
#include "platform/mediaasset.h"
#include "platform/mediaerror.h"
#include "platform/mediatime.h"

#include <QByteArray>
#include <QString>

#include <QCoro/QCoroTask>

namespace tolvane {

// Cuts the audio of a time range out of a recording as the image of a 16 kHz
// mono 16-bit WAV file, the form the speech engine takes.
class AudioExtractor {
public:
    static inline const QString errorDomain = QStringLiteral("AudioExtractor");
    enum ErrorCode {
        noAudioTrack = 1,
        readingDidNotStart = 2,
        readingFailed = 3,
    };

    static constexpr int sampleRate = 16000;
    static constexpr int wavHeaderSize = 44;

    // Runs the reading on the thread pool and resumes on the caller's thread.
    // Cancelling the handle ends it with MediaError::cancelled().
    static QCoro::Task<Expected<QByteArray, MediaError>>
    extract(MediaAsset asset, MediaTimeRange range, CancelHandle task = {});

    // The same, blocking: for worker threads and command-line tools.
    static Expected<QByteArray, MediaError> extractBlocking(const MediaAsset& asset,
                                                            const MediaTimeRange& range,
                                                            const CancelHandle& task = {});

    // The canonical 44-byte RIFF/WAVE header for 16 kHz mono 16-bit PCM,
    // followed by the samples.
    static QByteArray wavImage(const QByteArray& samples);
};

} // namespace tolvane
