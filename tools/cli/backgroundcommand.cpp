#include "backgroundcommand.h"

#include "moviejob.h"
#include "output.h"
#include "platform/mediaasset.h"
#include "video/backgroundreplacer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <QCoro/QCoroTask>

#include <optional>
#include <variant>

using namespace Qt::StringLiterals;

namespace tolvane::cli {

namespace {

const char* const usageText =
    "usage:\n"
    "  media background FILE OUT.mov --blur | --preset NAME | --image PICTURE\n"
    "        [--codec mjpeg|h264] [--no-smoothing] [--threads N]\n"
    "  presets: midnight, sunset, neon, studio, mint\n";

struct BackgroundRequest {
    QString input;
    QString output;
    std::optional<BackgroundReplacer::Mode> mode;
    BackgroundReplacer::Options options;
};

std::variant<BackgroundRequest, QString> parse(const QStringList& args) {
    const QString usage = QString::fromUtf8(usageText);
    if (args.size() < 3 || args.at(0).startsWith("--"_L1) || args.at(1).startsWith("--"_L1)) {
        return usage;
    }
    BackgroundRequest request;
    request.input = args.at(0);
    request.output = args.at(1);
    auto setMode = [&](BackgroundReplacer::Mode mode) -> std::optional<QString> {
        if (request.mode) {
            return u"choose one of --blur, --preset and --image"_s;
        }
        request.mode = std::move(mode);
        return std::nullopt;
    };
    for (qsizetype i = 2; i < args.size(); ++i) {
        const QString& name = args.at(i);
        const std::optional<QString> value =
            i + 1 < args.size() ? std::optional<QString>(args.at(i + 1)) : std::nullopt;
        std::optional<QString> problem;
        if (name == "--blur"_L1) {
            problem = setMode(BackgroundReplacer::Mode::blur());
        } else if (name == "--preset"_L1) {
            const auto preset =
                value ? BackgroundReplacer::presetFromRawValue(*value) : std::nullopt;
            if (!preset) {
                return u"unknown preset %1; the presets are midnight, sunset, neon, "
                       "studio and mint"_s.arg(value.value_or(QString()));
            }
            problem = setMode(BackgroundReplacer::Mode::fromPreset(*preset));
            ++i;
        } else if (name == "--image"_L1) {
            if (!value) {
                return u"--image needs a picture file"_s;
            }
            problem = setMode(BackgroundReplacer::Mode::image(QUrl::fromLocalFile(*value)));
            ++i;
        } else if (name == "--codec"_L1) {
            if (value == "h264"_L1) {
                request.options.codec = BackgroundReplacer::Options::Codec::h264;
            } else if (value == "mjpeg"_L1) {
                request.options.codec = BackgroundReplacer::Options::Codec::mjpeg;
            } else {
                return u"--codec must be h264 or mjpeg"_s;
            }
            ++i;
        } else if (name == "--no-smoothing"_L1) {
            request.options.temporalSmoothing = false;
        } else if (name == "--threads"_L1) {
            bool ok = false;
            request.options.threads = value ? value->toInt(&ok) : 0;
            if (!ok || request.options.threads < 0 || request.options.threads > 64) {
                return u"--threads must be a whole number from 0 to 64"_s;
            }
            ++i;
        } else {
            return u"unknown option "_s + name + u"\n"_s + usage;
        }
        if (problem) {
            return *problem;
        }
    }
    if (!request.mode) {
        return u"choose one of --blur, --preset and --image\n"_s + usage;
    }
    return request;
}

QCoro::Task<int> run(BackgroundRequest request) {
    if (const auto info = checkMovieToFile(request.input, request.output); !info) {
        co_return fail(info.error());
    }
    QImage picture;
    if (request.mode->kind == BackgroundReplacer::Mode::Kind::image) {
        QImageReader reader(request.mode->url.toLocalFile());
        reader.setAutoTransform(true);
        picture = reader.read();
        if (picture.isNull()) {
            co_return fail(BackgroundReplacer::imageLoadError().description);
        }
    }

    const QString partial = partialBeside(request.output, u"tolvane-bg"_s, u".mov"_s);
    const QString source = QFileInfo(request.input).absoluteFilePath();
    const BackgroundReplacer::Mode mode = *request.mode;
    const BackgroundReplacer::Options options = request.options;
    JobWork<BackgroundReplacer::Result> work = [source, mode, picture, partial,
                                                options](JobControl& control) {
        return BackgroundReplacer::replace(source, mode, picture, partial, control, options);
    };
    auto job = runToFile<BackgroundReplacer::Result>(std::move(work), partial, request.output,
                                                     u"Background replacement was cancelled."_s);
    const auto result = co_await job;
    if (!result) {
        co_return fail(result.error());
    }
    printLine(QJsonObject{{u"file"_s, request.output},
                          {u"frames"_s, result->frames},
                          {u"duration"_s, result->duration},
                          {u"passedThrough"_s, result->passedThrough},
                          {u"maskChange"_s, result->meanMaskChange},
                          {u"segmentationMs"_s, result->segmentationMs}});
    co_return 0;
}

} // namespace

int runBackgroundCommand(const QStringList& args) {
    auto parsed = parse(args);
    if (auto* error = std::get_if<QString>(&parsed)) {
        return fail(*error);
    }
    return QCoro::waitFor(run(std::get<BackgroundRequest>(std::move(parsed))));
}

} // namespace tolvane::cli
