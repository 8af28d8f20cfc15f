#include "platform/capturesession.h"

#include "platform/captureinput.h"
#include "platform/ffmpegsupport.h"
#include "platform/serialqueue.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

Q_LOGGING_CATEGORY(lcCapture, "tolvane.media.capture")

using capture::Clock;
using capture::Input;
using capture::micros;
using capture::openSource;

constexpr auto previewInterval = std::chrono::milliseconds(33);
constexpr int audioRate = 48000;
// The file's time base for both tracks' timestamps before the muxer rescales.
constexpr AVRational clockBase{1, 1000000};

struct DictionaryDeleter {
    void operator()(AVDictionary* dict) const { av_dict_free(&dict); }
};

struct OutputDeleter {
    void operator()(AVFormatContext* context) const {
        if (context->pb && !(context->oformat->flags & AVFMT_NOFILE)) {
            avio_closep(&context->pb);
        }
        avformat_free_context(context);
    }
};
using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;

struct FifoDeleter {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoDeleter>;

} // namespace

CaptureSource cameraSource(const QString& name) {
    if (name.startsWith("lavfi:"_L1)) {
        return {u"lavfi"_s, name.mid(6), true};
    }
    if (name.startsWith("/dev/"_L1)) {
        return {u"v4l2"_s, name, false};
    }
    return {QString(), name, true};
}

CaptureSource microphoneSource(const QString& name) {
    for (const char* device : {"alsa", "pulse", "lavfi"}) {
        const QString prefix = QLatin1String(device) + QLatin1Char(':');
        if (name.startsWith(prefix)) {
            const bool graph = prefix == "lavfi:"_L1;
            return {QLatin1String(device), name.mid(prefix.size()), graph};
        }
    }
    return {QString(), name, true};
}

// The file being written, with what turns captured frames into its packets.
struct Writer {
    OutputPtr output;
    QString path;
    AVStream* video = nullptr;
    AVStream* audio = nullptr;
    ffmpeg::CodecContextPtr videoEncoder; // empty when the camera's packets are copied
    ffmpeg::ScalerPtr videoScaler;
    ffmpeg::CodecContextPtr audioEncoder;
    ffmpeg::ResamplerPtr resampler;
    FifoPtr fifo;
    Clock::time_point start;
    std::int64_t lastVideo = -1;
    std::int64_t audioBase = -1; // in samples; set by the first sound after the start
    std::int64_t audioWritten = 0;
    // Set by a stop: what was captured up to then still goes in, and the file
    // is closed once each source has delivered something captured after it.
    std::optional<Clock::time_point> stopAt;
    bool videoPassedStop = false;
    bool audioPassedStop = false;
    QString error;
};

struct CaptureSession::Private {
    Options options;
    std::shared_ptr<PreviewFrames> preview = std::make_shared<PreviewFrames>();
    std::unique_ptr<Input> camera;
    std::unique_ptr<Input> microphone;
    std::atomic_bool running{false};
    std::atomic_bool recording{false};
    bool copyVideo = false;
    QString lastError;

    // Decoders live on their input's thread.
    ffmpeg::CodecContextPtr videoDecoder;
    ffmpeg::CodecContextPtr audioDecoder;
    ffmpeg::ScalerPtr previewScaler;
    Clock::time_point lastPreview{};

    std::mutex writeMutex;
    std::unique_ptr<Writer> writer;
    // Signalled when a source delivers past the writer's stop.
    std::condition_variable passedStop;
    Callbacks callbacks;
    // Opening and closing the file, in the order asked, off the caller's thread.
    SerialQueue control{"tolvane.capture.control"};

    bool openCamera();
    bool openMicrophone();
    void readLoop(Input* input, bool video);
    void onVideoPacket(AVPacket* packet, Clock::time_point arrived);
    void onAudioPacket(AVPacket* packet, Clock::time_point arrived);
    void showPreview(const AVFrame* frame);
    void encodeVideo(Writer& w, const AVFrame* frame, std::int64_t pts);
    void encodeAudio(Writer& w, bool flush);
    void drain(Writer& w, AVCodecContext* encoder, AVStream* stream);
    bool openWriter(Writer& w);
    QString closeWriter(Writer& w);
};

bool CaptureSession::Private::openCamera() {
    QString name = options.camera;
    if (name.isEmpty()) {
        name = qEnvironmentVariable("TOLVANE_CAMERA");
    }
    AVDictionary* v4l2 = nullptr;
    av_dict_set(&v4l2, "video_size", "1920x1080", 0);
    av_dict_set(&v4l2, "framerate", "30", 0);
    std::unique_ptr<AVDictionary, DictionaryDeleter> v4l2Owner(v4l2);
    AVDictionary* mjpeg = nullptr;
    av_dict_copy(&mjpeg, v4l2, 0);
    av_dict_set(&mjpeg, "input_format", "mjpeg", 0);
    std::unique_ptr<AVDictionary, DictionaryDeleter> mjpegOwner(mjpeg);

    auto tryOpen = [&](const CaptureSource& source) -> bool {
        if (source.format == "v4l2"_L1) {
            // MJPEG first: it is copied into the file as it comes.
            auto opened = openSource(source, AVMEDIA_TYPE_VIDEO, mjpeg);
            if (!opened) {
                opened = openSource(source, AVMEDIA_TYPE_VIDEO, v4l2);
            }
            if (!opened) {
                lastError = opened.error();
                return false;
            }
            camera = std::move(opened.value());
            return true;
        }
        auto opened = openSource(source, AVMEDIA_TYPE_VIDEO, nullptr);
        if (!opened) {
            lastError = opened.error();
            return false;
        }
        camera = std::move(opened.value());
        return true;
    };

    if (!name.isEmpty()) {
        return tryOpen(cameraSource(name));
    }
    // The default camera: the first node that opens as a capture device
    // (metadata nodes refuse).
    for (int i = 0; i < 64; ++i) {
        const QString path = u"/dev/video%1"_s.arg(i);
        if (QFileInfo::exists(path) && tryOpen(cameraSource(path))) {
            return true;
        }
    }
    if (lastError.isEmpty()) {
        lastError = u"no camera"_s;
    }
    return false;
}

bool CaptureSession::Private::openMicrophone() {
    for (const CaptureSource& source : capture::microphoneCandidates(options.microphone)) {
        auto opened = openSource(source, AVMEDIA_TYPE_AUDIO, nullptr);
        if (opened) {
            microphone = std::move(opened.value());
            return true;
        }
        lastError = opened.error();
    }
    return false;
}

void CaptureSession::Private::readLoop(Input* input, bool video) {
    capture::readPackets(*input, video, [this, video](AVPacket* packet, Clock::time_point arrived) {
        if (video) {
            onVideoPacket(packet, arrived);
        } else {
            onAudioPacket(packet, arrived);
        }
    });
}

void CaptureSession::Private::showPreview(const AVFrame* frame) {
    const QSize box = options.previewSize;
    QSize size(frame->width, frame->height);
    size.scale(box, Qt::KeepAspectRatio);
    size = size.expandedTo(QSize(2, 2));
    previewScaler.reset(sws_getCachedContext(previewScaler.release(), frame->width, frame->height,
                                             AVPixelFormat(frame->format), size.width(),
                                             size.height(), AV_PIX_FMT_RGB32, SWS_FAST_BILINEAR,
                                             nullptr, nullptr, nullptr));
    if (!previewScaler) {
        return;
    }
    QImage image(size, QImage::Format_RGB32);
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(previewScaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
    preview->publish(std::move(image));
}

void CaptureSession::Private::onVideoPacket(AVPacket* packet, Clock::time_point arrived) {
    std::unique_lock lock(writeMutex);
    Writer* w = writer.get();
    if (w && w->stopAt && arrived > *w->stopAt) {
        // Captured after the stop: for the live picture only.
        w->videoPassedStop = true;
        passedStop.notify_all();
        w = nullptr;
    }
    const bool wantPreview = arrived - lastPreview >= previewInterval;
    // Only intra-coded MJPEG may skip the frames nobody looks at.
    const bool needFrame = wantPreview || !copyVideo;
    std::int64_t pts = 0;
    if (w) {
        pts = std::max(micros(arrived - w->start), w->lastVideo + 1);
        w->lastVideo = pts;
    }
    if (w && !w->videoEncoder) {
        ffmpeg::PacketPtr copy = ffmpeg::makePacket();
        av_packet_ref(copy.get(), packet);
        copy->stream_index = w->video->index;
        copy->pts = copy->dts = av_rescale_q(pts, clockBase, w->video->time_base);
        copy->duration = 0;
        copy->pos = -1;
        av_interleaved_write_frame(w->output.get(), copy.get());
    }
    if (!needFrame || !videoDecoder) {
        return;
    }
    if (avcodec_send_packet(videoDecoder.get(), packet) < 0) {
        return;
    }
    ffmpeg::FramePtr frame = ffmpeg::makeFrame();
    while (avcodec_receive_frame(videoDecoder.get(), frame.get()) == 0) {
        if (w && w->videoEncoder) {
            encodeVideo(*w, frame.get(), pts);
        }
        if (wantPreview) {
            lastPreview = arrived;
            lock.unlock();
            showPreview(frame.get());
            lock.lock();
        }
        av_frame_unref(frame.get());
    }
}

void CaptureSession::Private::encodeVideo(Writer& w, const AVFrame* frame, std::int64_t pts) {
    AVCodecContext* encoder = w.videoEncoder.get();
    ffmpeg::FramePtr out = ffmpeg::makeFrame();
    if (frame->format == encoder->pix_fmt && frame->width == encoder->width &&
        frame->height == encoder->height) {
        av_frame_ref(out.get(), frame);
    } else {
        w.videoScaler.reset(sws_getCachedContext(w.videoScaler.release(), frame->width,
                                                 frame->height, AVPixelFormat(frame->format),
                                                 encoder->width, encoder->height, encoder->pix_fmt,
                                                 SWS_BILINEAR, nullptr, nullptr, nullptr));
        out->format = encoder->pix_fmt;
        out->width = encoder->width;
        out->height = encoder->height;
        if (!w.videoScaler || av_frame_get_buffer(out.get(), 0) < 0) {
            return;
        }
        sws_scale(w.videoScaler.get(), frame->data, frame->linesize, 0, frame->height, out->data,
                  out->linesize);
    }
    out->pts = av_rescale_q(pts, clockBase, encoder->time_base);
    out->pict_type = AV_PICTURE_TYPE_NONE;
    if (avcodec_send_frame(encoder, out.get()) == 0) {
        drain(w, encoder, w.video);
    }
}

void CaptureSession::Private::drain(Writer& w, AVCodecContext* encoder, AVStream* stream) {
    ffmpeg::PacketPtr packet = ffmpeg::makePacket();
    while (avcodec_receive_packet(encoder, packet.get()) == 0) {
        av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        av_interleaved_write_frame(w.output.get(), packet.get());
    }
}

void CaptureSession::Private::onAudioPacket(AVPacket* packet, Clock::time_point arrived) {
    if (!audioDecoder || avcodec_send_packet(audioDecoder.get(), packet) < 0) {
        return;
    }
    ffmpeg::FramePtr frame = ffmpeg::makeFrame();
    while (avcodec_receive_frame(audioDecoder.get(), frame.get()) == 0) {
        std::lock_guard lock(writeMutex);
        Writer* w = writer.get();
        if (w && w->stopAt && arrived > *w->stopAt) {
            w->audioPassedStop = true;
            passedStop.notify_all();
            w = nullptr;
        }
        if (w) {
            AVCodecContext* encoder = w->audioEncoder.get();
            if (!w->resampler) {
                SwrContext* swr = nullptr;
                swr_alloc_set_opts2(&swr, &encoder->ch_layout, encoder->sample_fmt,
                                    encoder->sample_rate, &frame->ch_layout,
                                    AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
                w->resampler.reset(swr);
                if (!swr || swr_init(swr) < 0) {
                    w->resampler.reset();
                    continue;
                }
            }
            if (w->audioBase < 0) {
                // The frame's sound ended when it arrived.
                const double began = std::chrono::duration<double>(arrived - w->start).count() -
                                     double(frame->nb_samples) / frame->sample_rate;
                w->audioBase = std::max<std::int64_t>(0, std::llround(began * audioRate));
            }
            const int room = swr_get_out_samples(w->resampler.get(), frame->nb_samples);
            ffmpeg::FramePtr converted = ffmpeg::makeFrame();
            converted->format = encoder->sample_fmt;
            converted->sample_rate = encoder->sample_rate;
            av_channel_layout_copy(&converted->ch_layout, &encoder->ch_layout);
            converted->nb_samples = room;
            if (av_frame_get_buffer(converted.get(), 0) < 0) {
                continue;
            }
            const int got =
                swr_convert(w->resampler.get(), converted->data, room,
                            const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
            if (got > 0) {
                av_audio_fifo_write(w->fifo.get(), reinterpret_cast<void**>(converted->data), got);
                encodeAudio(*w, false);
            }
        }
        av_frame_unref(frame.get());
    }
}

void CaptureSession::Private::encodeAudio(Writer& w, bool flush) {
    AVCodecContext* encoder = w.audioEncoder.get();
    const int frameSize = encoder->frame_size > 0 ? encoder->frame_size : 1024;
    while (av_audio_fifo_size(w.fifo.get()) >= frameSize ||
           (flush && av_audio_fifo_size(w.fifo.get()) > 0)) {
        const int count = std::min(frameSize, av_audio_fifo_size(w.fifo.get()));
        ffmpeg::FramePtr frame = ffmpeg::makeFrame();
        frame->format = encoder->sample_fmt;
        frame->sample_rate = encoder->sample_rate;
        av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout);
        frame->nb_samples = count;
        if (av_frame_get_buffer(frame.get(), 0) < 0) {
            return;
        }
        av_audio_fifo_read(w.fifo.get(), reinterpret_cast<void**>(frame->data), count);
        frame->pts = std::max<std::int64_t>(w.audioBase, 0) + w.audioWritten;
        w.audioWritten += count;
        if (avcodec_send_frame(encoder, frame.get()) == 0) {
            drain(w, encoder, w.audio);
        }
    }
}

bool CaptureSession::Private::openWriter(Writer& w) {
    auto fail = [&w](const QString& what, int rc) {
        w.error = what + u": "_s + ffmpeg::errorText(rc);
        return false;
    };
    AVFormatContext* raw = nullptr;
    const QByteArray path = QFile::encodeName(w.path);
    if (const int rc = avformat_alloc_output_context2(&raw, nullptr, "mov", path.constData());
        rc < 0) {
        return fail(u"could not make the movie"_s, rc);
    }
    w.output.reset(raw);
    const AVStream* cameraStream = camera->avStream();

    w.video = avformat_new_stream(raw, nullptr);
    if (copyVideo) {
        avcodec_parameters_copy(w.video->codecpar, cameraStream->codecpar);
        w.video->codecpar->codec_tag = 0;
        w.video->time_base = {1, 90000};
    } else {
        const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
        if (!codec) {
            return fail(u"no H.264 encoder"_s, AVERROR_ENCODER_NOT_FOUND);
        }
        w.videoEncoder.reset(avcodec_alloc_context3(codec));
        AVCodecContext* encoder = w.videoEncoder.get();
        encoder->width = cameraStream->codecpar->width & ~1;
        encoder->height = cameraStream->codecpar->height & ~1;
        encoder->pix_fmt = AV_PIX_FMT_YUV420P;
        encoder->time_base = {1, 90000};
        const AVRational rate = av_guess_frame_rate(
            camera->format.get(), camera->format->streams[camera->stream], nullptr);
        encoder->framerate = rate.num > 0 ? rate : AVRational{30, 1};
        encoder->thread_count = 0;
        if (raw->oformat->flags & AVFMT_GLOBALHEADER) {
            encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        AVDictionary* opts = nullptr;
        av_dict_set(&opts, "preset", "ultrafast", 0);
        av_dict_set(&opts, "crf", "23", 0);
        const int rc = avcodec_open2(encoder, codec, &opts);
        av_dict_free(&opts);
        if (rc < 0) {
            return fail(u"could not start the H.264 encoder"_s, rc);
        }
        avcodec_parameters_from_context(w.video->codecpar, encoder);
        w.video->time_base = encoder->time_base;
    }

    const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    w.audioEncoder.reset(avcodec_alloc_context3(aac));
    AVCodecContext* audioEncoder = w.audioEncoder.get();
    const int channels = std::clamp(microphone->avStream()->codecpar->ch_layout.nb_channels, 1, 2);
    av_channel_layout_default(&audioEncoder->ch_layout, channels);
    audioEncoder->sample_rate = audioRate;
    audioEncoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    audioEncoder->bit_rate = 128000;
    audioEncoder->time_base = {1, audioRate};
    if (raw->oformat->flags & AVFMT_GLOBALHEADER) {
        audioEncoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (const int rc = avcodec_open2(audioEncoder, aac, nullptr); rc < 0) {
        return fail(u"could not start the AAC encoder"_s, rc);
    }
    w.audio = avformat_new_stream(raw, nullptr);
    avcodec_parameters_from_context(w.audio->codecpar, audioEncoder);
    w.audio->time_base = audioEncoder->time_base;
    w.fifo.reset(av_audio_fifo_alloc(audioEncoder->sample_fmt, channels, audioRate));

    if (const int rc = avio_open(&raw->pb, path.constData(), AVIO_FLAG_WRITE); rc < 0) {
        return fail(u"could not create the movie file"_s, rc);
    }
    if (const int rc = avformat_write_header(raw, nullptr); rc < 0) {
        return fail(u"could not write the movie file"_s, rc);
    }
    w.start = Clock::now();
    return true;
}

QString CaptureSession::Private::closeWriter(Writer& w) {
    if (w.videoEncoder && avcodec_send_frame(w.videoEncoder.get(), nullptr) == 0) {
        drain(w, w.videoEncoder.get(), w.video);
    }
    encodeAudio(w, true);
    if (avcodec_send_frame(w.audioEncoder.get(), nullptr) == 0) {
        drain(w, w.audioEncoder.get(), w.audio);
    }
    if (const int rc = av_write_trailer(w.output.get()); rc < 0) {
        return u"could not finish the movie file: "_s + ffmpeg::errorText(rc);
    }
    w.output.reset();
    return QString();
}

CaptureSession::CaptureSession()
    : CaptureSession(Options{}) {}

CaptureSession::CaptureSession(Options options)
    : d(std::make_unique<Private>()) {
    d->options = std::move(options);
}

CaptureSession::~CaptureSession() {
    stopRunning();
    d->control.wait();
}

bool CaptureSession::startRunning() {
    if (d->running) {
        return true;
    }
    d->lastError.clear();
    if (!d->openCamera() || !d->openMicrophone()) {
        qCWarning(lcCapture) << "could not open the capture sources:" << d->lastError;
        d->camera.reset();
        d->microphone.reset();
        return false;
    }
    const AVStream* video = d->camera->avStream();
    d->copyVideo = video->codecpar->codec_id == AV_CODEC_ID_MJPEG;
    // A copied MJPEG stream is decoded only for the picture on screen, at a
    // quarter of its size, which costs little.
    const int lowres = d->copyVideo && video->codecpar->width >= 1280 ? 2 : 0;
    auto videoDecoder = capture::openDecoder(video, lowres);
    auto audioDecoder = capture::openDecoder(d->microphone->avStream(), 0);
    if (!videoDecoder || !audioDecoder) {
        d->lastError = u"no decoder for the capture sources"_s;
        d->camera.reset();
        d->microphone.reset();
        return false;
    }
    d->videoDecoder = std::move(videoDecoder.value());
    d->audioDecoder = std::move(audioDecoder.value());
    Private* p = d.get();
    d->camera->thread = std::thread([p] { p->readLoop(p->camera.get(), true); });
    d->microphone->thread = std::thread([p] { p->readLoop(p->microphone.get(), false); });
    d->running = true;
    return true;
}

bool CaptureSession::isRunning() const {
    return d->running;
}

void CaptureSession::stopRunning() {
    if (d->recording) {
        stopRecording();
    }
    d->control.wait();
    for (Input* input : {d->camera.get(), d->microphone.get()}) {
        if (input) {
            input->interrupt.quit = true;
        }
    }
    for (Input* input : {d->camera.get(), d->microphone.get()}) {
        if (input && input->thread.joinable()) {
            input->thread.join();
        }
    }
    d->camera.reset();
    d->microphone.reset();
    d->videoDecoder.reset();
    d->audioDecoder.reset();
    d->running = false;
}

void CaptureSession::startRecording(const QString& path, Callbacks callbacks) {
    if (d->recording.exchange(true)) {
        return;
    }
    d->callbacks = std::move(callbacks);
    Private* p = d.get();
    d->control.async([p, path] {
        auto w = std::make_unique<Writer>();
        w->path = path;
        bool opened = false;
        {
            std::lock_guard lock(p->writeMutex);
            opened = p->running && p->camera && p->microphone && p->openWriter(*w);
            if (opened) {
                p->writer = std::move(w);
            }
        }
        if (opened) {
            if (p->callbacks.started) {
                p->callbacks.started();
            }
            return;
        }
        const QString error = w->error.isEmpty() ? u"not running"_s : w->error;
        w.reset();
        p->recording = false;
        if (p->callbacks.finished) {
            p->callbacks.finished(path, error);
        }
    });
}

void CaptureSession::stopRecording() {
    Private* p = d.get();
    d->control.async([p] {
        std::unique_ptr<Writer> w;
        QString error;
        {
            std::unique_lock lock(p->writeMutex);
            if (Writer* current = p->writer.get()) {
                current->stopAt = Clock::now();
                // Frames captured before the stop may still be on their way
                // through a reading thread that is busy encoding (a raw camera
                // lags a frame or two behind its sound, more on a busy
                // machine); closing now would cut the picture short of the
                // sound. A source that went quiet holds the stop up for two
                // seconds at most.
                p->passedStop.wait_for(lock, std::chrono::seconds(2), [current] {
                    return current->videoPassedStop && current->audioPassedStop;
                });
            }
            w = std::move(p->writer);
            if (w) {
                error = p->closeWriter(*w);
            }
        }
        if (!w) {
            return;
        }
        p->recording = false;
        if (p->callbacks.finished) {
            p->callbacks.finished(w->path, error);
        }
    });
}

bool CaptureSession::isRecording() const {
    return d->recording;
}

std::shared_ptr<PreviewFrames> CaptureSession::preview() const {
    return d->preview;
}

QString CaptureSession::lastError() const {
    return d->lastError;
}

bool CaptureSession::copiesVideo() const {
    return d->copyVideo;
}

void PreviewFrames::publish(QImage image) {
    {
        QMutexLocker lock(&m_mutex);
        m_latest = std::move(image);
        ++m_count;
    }
    Q_EMIT frameReady();
}

QImage PreviewFrames::latest() const {
    QMutexLocker lock(&m_mutex);
    return m_latest;
}

qint64 PreviewFrames::count() const {
    QMutexLocker lock(&m_mutex);
    return m_count;
}

} // namespace tolvane
