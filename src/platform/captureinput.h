#pragma once

// Internal to the capture layer: opening an FFmpeg capture source and reading
// its packets at the pace a device would deliver them. Shared by the movie
// session (camera and microphone) and the audio-only microphone recorder.

#include "platform/capturesession.h"
#include "platform/expected.h"
#include "platform/ffmpegsupport.h"

#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace tolvane::capture {

using Clock = std::chrono::steady_clock;

std::int64_t micros(Clock::duration d);

// Registers libavdevice's inputs once per process.
void registerDevices();

// Lets a blocking open or read give up when the reader stops or the open
// takes too long.
struct Interrupt {
    std::atomic_bool quit{false};
    std::atomic<std::int64_t> deadline{0}; // steady-clock microseconds; 0 = none

    static int check(void* opaque);
};

// One opened source with the thread that reads it.
struct Input {
    ffmpeg::FormatContextPtr format;
    int stream = -1;
    bool paced = false;
    Interrupt interrupt;
    std::thread thread;

    const AVStream* avStream() const { return format->streams[stream]; }
};

// Opens `source` and finds its first stream of `type`; the error names the
// source and FFmpeg's reason.
Expected<std::unique_ptr<Input>, QString> openSource(const CaptureSource& source, AVMediaType type,
                                                     AVDictionary* options);

// The microphones to try, in order: `name` when given, else
// TOLVANE_MICROPHONE when set, else PulseAudio's default source and ALSA's.
QList<CaptureSource> microphoneCandidates(const QString& name);

// A decoder for a captured stream; `lowres` > 0 decodes pictures smaller.
Expected<ffmpeg::CodecContextPtr, QString> openDecoder(const AVStream* stream, int lowres = 0);

// Reads `input` until its interrupt's quit is set or the source fails,
// handing each packet of its stream to `deliver` with the time it was
// captured. A paced source (file, lavfi graph) is delivered at its own rate,
// and a file starts over at its end, as a device would go on.
void readPackets(Input& input, bool video,
                 const std::function<void(AVPacket*, Clock::time_point)>& deliver);

} // namespace tolvane::capture
