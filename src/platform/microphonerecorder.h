#pragma once

#include "platform/expected.h"

#include <QString>

#include <memory>

namespace tolvane {

// The microphone alone, recorded into a 16 kHz mono 16-bit WAV file with a
// level meter: what dictation records with. It reads the microphone through
// the capture layer (TOLVANE_MICROPHONE or the default source, as the camera
// recorder does) on a thread of its own.
class MicrophoneRecorder {
public:
    static constexpr int sampleRate = 16000;
    // The meter's window: the average power of the last 50 ms.
    static constexpr int meterSamples = sampleRate / 20;

    struct Failure {
        enum Kind {
            // No microphone could be opened; `detail` says what the last one
            // tried answered.
            microphone,
            // The file could not be created or written.
            file,
        };
        Kind kind = microphone;
        QString detail;
    };

    // `microphone` is read as TOLVANE_MICROPHONE is ("pulse:SOURCE",
    // "alsa:DEVICE", "lavfi:GRAPH" or a media file); empty takes that
    // variable, else PulseAudio's default source, then ALSA's.
    explicit MicrophoneRecorder(QString microphone = {});
    // Stops and completes the file.
    ~MicrophoneRecorder();
    MicrophoneRecorder(const MicrophoneRecorder&) = delete;
    MicrophoneRecorder& operator=(const MicrophoneRecorder&) = delete;

    // Blocking (a sound server may take a moment to answer): opens the
    // microphone, creates the file at `path` (which must not exist) and starts
    // writing. On failure nothing is left at `path`. Once only.
    Expected<Done, Failure> record(const QString& path);

    // The average power of the last 50 ms of sound in dB relative to full
    // scale, a full-scale sine reading 0 dB; minus infinity before any sound
    // arrived. Safe from any thread.
    double averagePower() const;

    // Seconds of sound written so far. Safe from any thread.
    double recordedSeconds() const;

    // Asks the reading thread to end without waiting for it.
    void requestStop();

    // Ends the reading thread and completes the file's header. Gives why the
    // file could not be written in full; empty when it was. Blocks until the
    // thread has ended (at most one packet of sound).
    QString stop();

    struct Private;

private:
    std::unique_ptr<Private> d;
};

} // namespace tolvane
