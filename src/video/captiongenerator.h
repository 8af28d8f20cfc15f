#pragma once

#include "platform/cancellation.h"
#include "platform/expected.h"
#include "platform/mediaasset.h"
#include "platform/mediaerror.h"
#include "platform/mediatime.h"
#include "recording/ondevicetranscriber.h"

#include <QPointer>
#include <QString>

#include <QCoro/QCoroTask>

#include <functional>
#include <optional>

namespace tolvane {

class VideoEditModel;

// Fills a model's captions from its recording's speech, as the editor asks.
namespace CaptionGenerator {

inline const QString emptyMessage = QStringLiteral("transcription came back empty");

// The audio of `range` cut out as a 16 kHz mono WAV file in the temporary
// directory ("tolvane-stt-<uuid>.wav"), transcribed on the device (or, given
// `alignText`, that text timed against it), the file deleted afterwards in
// every case. Times relative to the range's start. Blocking.
Expected<OnDeviceTranscriber::Transcription, MediaError>
transcribeRangeBlocking(const MediaAsset& asset, const MediaTimeRange& range, const QString& locale,
                        const CancelHandle& task = {},
                        const std::optional<QString>& alignText = std::nullopt);

// Whether `model` is still the studio's open edit model.
using IsOpen = std::function<bool(const VideoEditModel*)>;

// Transcribes the model's trimmed stretch with the user's locale and, when the
// model is still open and the task was not cancelled, stores the words, the
// transcript (also as the caption text) and the trim they belong to. The model
// is unchanged until then and on any failure. Fails with
// MediaError::cancelled() when cancelled (shown to nobody), with emptyMessage
// for an empty transcript, and otherwise with the extraction's or the
// transcriber's own error ("Couldn't make out any speech in that clip.").
QCoro::Task<Expected<Done, MediaError>> generate(QPointer<VideoEditModel> model, CancelHandle task,
                                                 IsOpen isOpen);

// Times the model's (edited) caption text against its trimmed stretch and
// stores the result exactly as generate does, with the caption text kept, so
// the captions are timed again. On failure the model is unchanged.
QCoro::Task<Expected<Done, MediaError>> align(QPointer<VideoEditModel> model, CancelHandle task,
                                              IsOpen isOpen);

} // namespace CaptionGenerator
} // namespace tolvane
