#include "recording/voicerecorder.h"

#include "platform/microphonerecorder.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QPointer>
#include <QThreadPool>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroSignal>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

Q_LOGGING_CATEGORY(lcDictation, "tolvane.media.dictation")

struct Opened {
    std::shared_ptr<MicrophoneRecorder> recorder;
    QString error; // empty when recording runs
};

struct Finished {
    std::optional<QByteArray> bytes;
    QString error;
};

QString newFileName() {
    return QDir(QDir::tempPath())
        .filePath(VoiceRecorder::filePrefix + QUuid::createUuid().toString(QUuid::WithoutBraces) +
                  u'.' + VoiceRecorder::ext);
}

// Stops a recorder that nobody reads any more and deletes its file, off the
// main thread. The file goes at once: the reading thread may still write into
// the open file, which no longer has a name.
void discard(std::shared_ptr<MicrophoneRecorder> recorder, const QString& path) {
    if (!recorder) {
        return;
    }
    recorder->requestStop();
    QFile::remove(path);
    QThreadPool::globalInstance()->start([recorder = std::move(recorder)] { recorder->stop(); });
}

} // namespace

VoiceRecorder::VoiceRecorder(QObject* parent)
    : QObject(parent) {
    m_meterTimer.setInterval(meterIntervalMs);
    m_meterTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_meterTimer, &QTimer::timeout, this, &VoiceRecorder::tick);
}

VoiceRecorder::~VoiceRecorder() {
    discard(std::move(m_recorder), m_fileURL);
}

double VoiceRecorder::levelForPower(double decibels) {
    return std::min(1.0, std::pow(10.0, std::max(decibels, -60.0) / 20.0));
}

QCoro::Task<bool> VoiceRecorder::start() {
    if (m_isRecording) {
        co_return true;
    }
    QPointer<VoiceRecorder> self(this);
    if (m_starting) {
        // A second press while the microphone opens gets the first one's answer.
        auto finished = qCoro(this, &VoiceRecorder::startFinished);
        const bool recording = co_await finished;
        co_return recording;
    }
    m_starting = true;
    m_lastError.clear();
    const quint64 generation = ++m_generation;
    const QString path = newFileName();
    QFuture<Opened> opening = QtConcurrent::run([microphone = m_microphone, path] {
        auto recorder = std::make_shared<MicrophoneRecorder>(microphone);
        auto recording = recorder->record(path);
        if (!recording) {
            const MicrophoneRecorder::Failure& failure = recording.error();
            // The user is told in their words; this keeps the device's own.
            qCInfo(lcDictation) << "could not start recording:" << failure.detail;
            return Opened{nullptr, failure.kind == MicrophoneRecorder::Failure::microphone
                                       ? microphoneFailure
                                       : u"Couldn't start recording: "_s + failure.detail};
        }
        return Opened{std::move(recorder), QString()};
    });
    Opened opened = co_await opening;
    if (!self) {
        discard(std::move(opened.recorder), path);
        co_return false;
    }
    m_starting = false;
    if (generation != m_generation) {
        // stop() or cancel() came first: this recording is not wanted.
        discard(std::move(opened.recorder), path);
        Q_EMIT startFinished(false);
        co_return false;
    }
    if (!opened.recorder) {
        m_lastError = opened.error;
        Q_EMIT startFinished(false);
        co_return false;
    }
    m_recorder = std::move(opened.recorder);
    m_fileURL = path;
    m_startedAt.emplace();
    m_startedAt->start();
    setElapsed(0.0);
    m_isRecording = true;
    Q_EMIT isRecordingChanged();
    tick();
    m_meterTimer.start();
    Q_EMIT startFinished(true);
    co_return true;
}

void VoiceRecorder::tick() {
    if (!m_recorder || !m_isRecording) {
        return;
    }
    setLevel(levelForPower(m_recorder->averagePower()));
    setElapsed(m_startedAt ? double(m_startedAt->nsecsElapsed()) / 1e9 : 0.0);
}

void VoiceRecorder::reset() {
    m_meterTimer.stop();
    m_recorder.reset();
    m_fileURL.clear();
    m_startedAt.reset();
    m_heard = 0;
    ++m_generation;
    setLevel(0.0);
    if (m_isRecording) {
        m_isRecording = false;
        Q_EMIT isRecordingChanged();
    }
}

QCoro::Task<std::optional<QByteArray>> VoiceRecorder::stop() {
    m_lastError.clear();
    if (!m_recorder || m_fileURL.isEmpty()) {
        reset();
        co_return std::nullopt;
    }
    QPointer<VoiceRecorder> self(this);
    std::shared_ptr<MicrophoneRecorder> recorder = m_recorder;
    const QString path = m_fileURL;
    reset();
    QFuture<Finished> finishing = QtConcurrent::run([recorder, path] {
        Finished out;
        out.error = recorder->stop();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            // A header alone is a recording without sound.
            if (bytes.size() > VoiceRecorder::wavHeaderSize) {
                out.bytes = bytes;
            }
        } else if (out.error.isEmpty()) {
            out.error = file.errorString();
        }
        file.close();
        QFile::remove(path);
        return out;
    });
    Finished finished = co_await finishing;
    if (self && !finished.error.isEmpty()) {
        m_lastError = u"Couldn't save the recording: "_s + finished.error;
    }
    if (!finished.error.isEmpty()) {
        // What was written before the disk filled up is not the whole message.
        co_return std::nullopt;
    }
    co_return std::move(finished.bytes);
}

QByteArray VoiceRecorder::takeNewSamples() {
    if (!m_isRecording || m_fileURL.isEmpty()) {
        return {};
    }
    // The recording thread writes the file unbuffered, so what it has written
    // is there to read; a few kilobytes a call.
    QFile file(m_fileURL);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(VoiceRecorder::wavHeaderSize + m_heard)) {
        return {};
    }
    QByteArray bytes = file.readAll();
    // Whole samples only; the odd byte comes with the next call.
    bytes.truncate(bytes.size() & ~qsizetype(1));
    m_heard += bytes.size();
    return bytes;
}

void VoiceRecorder::cancel() {
    discard(m_recorder, m_fileURL);
    reset();
}

void VoiceRecorder::setLevel(double level) {
    if (m_level != level) {
        m_level = level;
        Q_EMIT levelChanged();
    }
}

void VoiceRecorder::setElapsed(double seconds) {
    if (m_elapsed != seconds) {
        m_elapsed = seconds;
        Q_EMIT elapsedChanged();
    }
}

} // namespace tolvane
