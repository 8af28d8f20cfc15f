#include "video/captiongenerator.h"

#include "recording/audioextractor.h"
#include "video/videoeditmodel.h"

#include <QDir>
#include <QFile>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoro/QCoroFuture>

using namespace Qt::StringLiterals;

namespace tolvane::CaptionGenerator {

using OnDeviceTranscriber::Transcription;

namespace {

// The range's audio as a WAV file in the temporary directory; its path.
Expected<QString, MediaError> writeSpeechClip(const MediaAsset& asset, const MediaTimeRange& range,
                                              const CancelHandle& task) {
    auto wav = AudioExtractor::extractBlocking(asset, range, task);
    if (!wav) {
        return Unexpected(wav.error());
    }
    const QString path =
        QDir(QDir::tempPath())
            .filePath(u"tolvane-stt-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces) +
                      u".wav"_s);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*wav) != wav->size() || !file.flush()) {
        const QString reason = file.errorString();
        file.close();
        QFile::remove(path);
        return Unexpected(MediaError{u"CaptionGenerator"_s, 1,
                                     u"could not write the audio for transcription: "_s + reason});
    }
    return path;
}

} // namespace

Expected<Transcription, MediaError>
transcribeRangeBlocking(const MediaAsset& asset, const MediaTimeRange& range, const QString& locale,
                        const CancelHandle& task, const std::optional<QString>& alignText) {
    const auto path = writeSpeechClip(asset, range, task);
    if (!path) {
        return Unexpected(path.error());
    }
    auto result = alignText ? OnDeviceTranscriber::alignBlocking(*path, *alignText, task)
                            : OnDeviceTranscriber::transcribeBlocking(*path, locale, task);
    QFile::remove(*path);
    return result;
}

namespace {

QCoro::Task<Expected<Done, MediaError>> run(QPointer<VideoEditModel> model, CancelHandle task,
                                            IsOpen isOpen, bool aligning) {
    if (!model) {
        co_return Unexpected(MediaError::cancelled());
    }
    const MediaAsset asset = model->asset();
    const MediaTimeRange range = model->trimRange();
    const double trimStart = model->trimStart();
    const double trimEnd = model->trimEnd();
    const std::optional<QString> text =
        aligning ? std::optional<QString>(model->captionText()) : std::nullopt;
    const QString locale = OnDeviceTranscriber::currentLocale();
    QFuture<Expected<QString, MediaError>> writing =
        QtConcurrent::run([asset, range, task] { return writeSpeechClip(asset, range, task); });
    const auto path = co_await writing;
    if (!path) {
        co_return Unexpected(path.error());
    }
    auto transcribing = text ? OnDeviceTranscriber::align(*path, *text, task)
                             : OnDeviceTranscriber::transcribe(*path, locale, task);
    auto result = co_await transcribing;
    // The clip is ours; a failure to delete it changes nothing for the user.
    QFile::remove(*path);
    if (isCancelled(task)) {
        co_return Unexpected(MediaError::cancelled());
    }
    if (!result) {
        // Extraction and transcription errors keep their own messages.
        co_return Unexpected(result.error());
    }
    const QString transcript = result->transcript.trimmed();
    if (transcript.isEmpty()) {
        co_return Unexpected(MediaError{OnDeviceTranscriber::errorDomain,
                                        int(OnDeviceTranscriber::TranscriptionError::empty),
                                        emptyMessage});
    }
    if (!model || !isOpen(model.data())) {
        co_return Unexpected(MediaError::cancelled());
    }
    model->setCaptionSegments(result->segments);
    model->setCaptionTranscript(transcript);
    model->setCaptionTrimStart(trimStart);
    model->setCaptionTrimEnd(trimEnd);
    if (!aligning) {
        model->setCaptionText(transcript);
    }
    co_return Done{};
}

} // namespace

QCoro::Task<Expected<Done, MediaError>> generate(QPointer<VideoEditModel> model, CancelHandle task,
                                                 IsOpen isOpen) {
    auto work = run(std::move(model), std::move(task), std::move(isOpen), false);
    auto result = co_await work;
    co_return result;
}

QCoro::Task<Expected<Done, MediaError>> align(QPointer<VideoEditModel> model, CancelHandle task,
                                              IsOpen isOpen) {
    auto work = run(std::move(model), std::move(task), std::move(isOpen), true);
    auto result = co_await work;
    co_return result;
}

} // namespace tolvane::CaptionGenerator
