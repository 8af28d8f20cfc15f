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
    if (args.size() < 3 || args.at(0).startsWith(QLatin1String("--")) ||
        args.at(1).startsWith(QLatin1String("--"))) {
        return usage;
    }
    BackgroundRequest request;
    request.input = args.at(0);
    request.output = args.at(1);
    auto setMode = [&](BackgroundReplacer::Mode mode) -> std::optional<QString> {
        if (request.mode) {
            return QStringLiteral("choose one of --blur, --preset and --image");
        }
        request.mode = std::move(mode);
        return std::nullopt;
    };
    for (qsizetype i = 2; i < args.size(); ++i) {
        const QString& name = args.at(i);
        const std::optional<QString> value =
            i + 1 < args.size() ? std::optional<QString>(args.at(i + 1)) : std::nullopt;
        std::optional<QString> problem;
        if (name == QLatin1String("--blur")) {
            problem = setMode(BackgroundReplacer::Mode::blur());
        } else if (name == QLatin1String("--preset")) {
            const auto preset =
                value ? BackgroundReplacer::presetFromRawValue(*value) : std::nullopt;
            if (!preset) {
                return QStringLiteral("unknown preset %1; the presets are midnight, sunset, neon, "
                                      "studio and mint")
                    .arg(value.value_or(QString()));
            }
            problem = setMode(BackgroundReplacer::Mode::fromPreset(*preset));
            ++i;
        } else if (name == QLatin1String("--image")) {
            if (!value) {
                return QStringLiteral("--image needs a picture file");
            }
            problem = setMode(BackgroundReplacer::Mode::image(QUrl::fromLocalFile(*value)));
            ++i;
        } else if (name == QLatin1String("--codec")) {
            if (value == QLatin1String("h264")) {
                request.options.codec = BackgroundReplacer::Options::Codec::h264;
            } else if (value == QLatin1String("mjpeg")) {
                request.options.codec = BackgroundReplacer::Options::Codec::mjpeg;
            } else {
                return QStringLiteral("--codec must be h264 or mjpeg");
            }
            ++i;
        } else if (name == QLatin1String("--no-smoothing")) {
            request.options.temporalSmoothing = false;
        } else if (name == QLatin1String("--threads")) {
            bool ok = false;
            request.options.threads = value ? value->toInt(&ok) : 0;
            if (!ok || request.options.threads < 0 || request.options.threads > 64) {
                return QStringLiteral("--threads must be a whole number from 0 to 64");
            }
            ++i;
        } else {
            return QStringLiteral("unknown option ") + name + QStringLiteral("\n") + usage;
        }
        if (problem) {
            return *problem;
        }
    }
    if (!request.mode) {
        return QStringLiteral("choose one of --blur, --preset and --image\n") + usage;
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

    const QString partial =
        partialBeside(request.output, QStringLiteral("tolvane-bg"), QStringLiteral(".mov"));
    const QString source = QFileInfo(request.input).absoluteFilePath();
    const BackgroundReplacer::Mode mode = *request.mode;
    const BackgroundReplacer::Options options = request.options;
    JobWork<BackgroundReplacer::Result> work = [source, mode, picture, partial,
                                                options](JobControl& control) {
        return BackgroundReplacer::replace(source, mode, picture, partial, control, options);
    };
    auto job = runToFile<BackgroundReplacer::Result>(
        std::move(work), partial, request.output,
        QStringLiteral("Background replacement was cancelled."));
    const auto result = co_await job;
    if (!result) {
        co_return fail(result.error());
    }
    printLine(QJsonObject{{QStringLiteral("file"), request.output},
                          {QStringLiteral("frames"), result->frames},
                          {QStringLiteral("duration"), result->duration},
                          {QStringLiteral("passedThrough"), result->passedThrough},
                          {QStringLiteral("maskChange"), result->meanMaskChange},
                          {QStringLiteral("segmentationMs"), result->segmentationMs}});
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
