#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>

namespace tolvane {

class MicrophoneRecorder;

// Records the microphone for dictation: a 16 kHz mono 16-bit WAV file
// "tolvane-dictation-<UUID>.wav" in the temporary folder, a live input level
// and the elapsed time for the composer, and the recorded bytes at the end.
// The file never outlives the recording. Lives on the main thread; opening the
// microphone and finishing the file happen on the thread pool.
class VoiceRecorder : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(double level READ level NOTIFY levelChanged)
    Q_PROPERTY(double elapsed READ elapsed NOTIFY elapsedChanged)

public:
    static inline const QString ext = QStringLiteral("wav");
    static inline const QString filePrefix = QStringLiteral("tolvane-dictation-");
    static constexpr int meterIntervalMs = 50;
    // The header of the WAV files it writes; the samples follow it.
    static constexpr qsizetype wavHeaderSize = 44;

    // What start() gives false for.
    static inline const QString microphoneFailure = QStringLiteral(
        "Couldn't open the microphone. Check that one is connected and not used by another app.");

    explicit VoiceRecorder(QObject* parent = nullptr);
    // A recording in progress is thrown away.
    ~VoiceRecorder() override;

    // The microphone as TOLVANE_MICROPHONE names one; empty (the default)
    // takes that variable, else the desktop's default source.
    void setMicrophone(const QString& name) { m_microphone = name; }

    bool isRecording() const { return m_isRecording; }
    // 0.001 (at or below -60 dBFS) to 1 while recording, 0 when idle.
    double level() const { return m_level; }
    // Seconds since the recording started; keeps its last value after it.
    double elapsed() const { return m_elapsed; }
    // The file being written; empty when idle.
    QString fileURL() const { return m_fileURL; }
    // Why the last start() gave false or the last stop() gave nothing, in the
    // user's words; empty when there was nothing to report.
    QString lastError() const { return m_lastError; }

    // The level shown for an average power in dBFS: 10^(max(power, -60) / 20),
    // at most 1.
    static double levelForPower(double decibels);

    // True once recording runs (at once when it already does). False when
    // no microphone opens or the file cannot be made; nothing is left behind.
    QCoro::Task<bool> start();
    // Stops and gives the recorded file's bytes (a WAV file image); nothing
    // without a recording, when it holds no sound or could not be read. The
    // file is deleted.
    QCoro::Task<std::optional<QByteArray>> stop();
    // Stops and throws the recording away unread.
    void cancel();

    // The samples (16 kHz mono 16-bit) recorded since the last call during
    // this recording, for listening while the user still speaks; empty when
    // idle or when nothing new has arrived.
    QByteArray takeNewSamples();

Q_SIGNALS:
    void isRecordingChanged();
    void levelChanged();
    void elapsedChanged();
    // A start() has ended, with its answer.
    void startFinished(bool recording);

private:
    void tick();
    void reset();
    void setLevel(double level);
    void setElapsed(double seconds);

    QString m_microphone;
    bool m_isRecording = false;
    double m_level = 0.0;
    double m_elapsed = 0.0;
    std::shared_ptr<MicrophoneRecorder> m_recorder;
    QString m_fileURL;
    QTimer m_meterTimer;
    std::optional<QElapsedTimer> m_startedAt;
    QString m_lastError;
    bool m_starting = false;
    // Bytes of sound takeNewSamples() has handed out.
    qint64 m_heard = 0;
    // Changes with every start and reset, so a start that was overtaken by
    // stop() or cancel() while the microphone opened knows it.
    quint64 m_generation = 0;
};

} // namespace tolvane
