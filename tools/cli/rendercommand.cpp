#include "rendercommand.h"

#include "moviejob.h"
#include "output.h"
#include "video/compositionbuilder.h"
#include "video/videorenderer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QCoro/QCoroTask>

#include <cmath>
#include <optional>

namespace tolvane::cli {

const char* const renderUsage =
    "  media render FILE OUT.mp4 [--trim S E] [--crop-x X] [--zoom Z] [--fades]\n"
    "        [--ken-burns] [--punch-in] [--progress-bar] [--jump-cuts] [--hook TEXT]\n"
    "        [--captions TEXT] [--style tiktok|bubble] [--highlight] [--threads N]\n"
    "                                           renders the short; {\"progress\": p} lines,\n"
    "                                           then {\"file\", \"duration\", \"frames\"}\n";

namespace {

const QString cancelledText = QStringLiteral("Rendering was cancelled.");

struct RenderRequest {
    QString input;
    QString output;
    std::optional<std::pair<double, double>> trim;
    double cropX = 0.5;
    double zoom = 1.0;
    QString hook;
    QString captions;
    EffectOptions options;
    int threads = 0;
};

std::optional<double> number(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// Parses the command line; an error text when it is not a valid request.
std::variant<RenderRequest, QString> parse(const QStringList& args) {
    const QString usageText = QStringLiteral("usage:\n") + QString::fromUtf8(renderUsage);
    if (args.size() < 2 || args.at(0).startsWith(QLatin1String("--")) ||
        args.at(1).startsWith(QLatin1String("--"))) {
        return usageText;
    }
    RenderRequest request;
    request.input = args.at(0);
    request.output = args.at(1);
    // The command describes one render: nothing is on unless it is named.
    request.options =
        EffectOptions{false, false, false, false, false, false, CaptionStyle::tiktok, QString()};
    for (qsizetype i = 2; i < args.size(); ++i) {
        const QString& name = args.at(i);
        auto value = [&](int offset = 1) -> std::optional<QString> {
            return i + offset < args.size() ? std::optional<QString>(args.at(i + offset))
                                            : std::nullopt;
        };
        if (name == QLatin1String("--fades")) {
            request.options.fades = true;
        } else if (name == QLatin1String("--ken-burns")) {
            request.options.kenBurns = true;
        } else if (name == QLatin1String("--punch-in")) {
            request.options.punchIn = true;
        } else if (name == QLatin1String("--progress-bar")) {
            request.options.progressBar = true;
        } else if (name == QLatin1String("--jump-cuts")) {
            request.options.jumpCuts = true;
        } else if (name == QLatin1String("--highlight")) {
            request.options.karaokeHighlight = true;
        } else if (name == QLatin1String("--trim")) {
            const auto start = value(1) ? number(*value(1)) : std::nullopt;
            const auto end = value(2) ? number(*value(2)) : std::nullopt;
            if (!start || !end) {
                return QStringLiteral("--trim needs a start and an end in seconds");
            }
            request.trim = std::pair{*start, *end};
            i += 2;
        } else if (name == QLatin1String("--crop-x")) {
            const auto x = value() ? number(*value()) : std::nullopt;
            if (!x || *x < 0 || *x > 1) {
                return QStringLiteral("--crop-x must be a number from 0 to 1");
            }
            request.cropX = *x;
            ++i;
        } else if (name == QLatin1String("--zoom")) {
            const auto z = value() ? number(*value()) : std::nullopt;
            if (!z || *z < 1) {
                return QStringLiteral("--zoom must be a number of at least 1");
            }
            request.zoom = *z;
            ++i;
        } else if (name == QLatin1String("--hook") || name == QLatin1String("--captions")) {
            if (!value()) {
                return name + QStringLiteral(" needs a text");
            }
            (name == QLatin1String("--hook") ? request.hook : request.captions) = *value();
            ++i;
        } else if (name == QLatin1String("--style")) {
            const auto style = value() ? Captions::styleFromRawValue(*value()) : std::nullopt;
            if (!style) {
                return QStringLiteral("--style must be tiktok or bubble");
            }
            request.options.captionStyle = *style;
            ++i;
        } else if (name == QLatin1String("--threads")) {
            bool ok = false;
            request.threads = value() ? value()->toInt(&ok) : 0;
            if (!ok || request.threads < 0 || request.threads > 64) {
                return QStringLiteral("--threads must be a whole number from 0 to 64");
            }
            ++i;
        } else {
            return QStringLiteral("unknown option ") + name + QStringLiteral("\n") + usageText;
        }
    }
    request.options.hookText = request.hook;
    return request;
}

QCoro::Task<int> render(RenderRequest request) {
    const auto info = checkMovieToFile(request.input, request.output);
    if (!info) {
        co_return fail(info.error());
    }
    const MediaAsset asset(QFileInfo(request.input).absoluteFilePath());
    double start = 0.0;
    double end = info->duration;
    if (request.trim) {
        std::tie(start, end) = *request.trim;
        // Half a frame of slack: a duration rounded in the container.
        if (start < 0 || end <= start || end > info->duration + 0.02) {
            co_return fail(QStringLiteral("--trim must lie within the file (0 to %1 s) with start "
                                          "before end")
                               .arg(info->duration, 0, 'f', 3));
        }
    }

    VideoCompositionBuilder::Inputs inputs;
    inputs.asset = asset;
    inputs.trimRange = MediaTimeRange::fromSeconds(start, end);
    inputs.captionText = request.captions.trimmed();
    inputs.options = request.options;
    inputs.cropCenterX = request.cropX;
    inputs.cropZoom = request.zoom;

    const QString partial =
        partialBeside(request.output, QStringLiteral("tolvane-render"), QStringLiteral(".mp4"));
    const RenderSettings settings{request.threads};
    JobWork<RenderResult> work = [inputs, partial,
                                  settings](JobControl& control) -> JobResult<RenderResult> {
        auto composition = VideoCompositionBuilder::build(inputs, control.cancelHandle());
        if (!composition) {
            return Unexpected(std::move(composition).error());
        }
        return VideoRenderer::render(*composition, partial, control, settings);
    };
    auto job = runToFile<RenderResult>(std::move(work), partial, request.output, cancelledText);
    const auto result = co_await job;
    if (!result) {
        co_return fail(result.error());
    }
    printLine(QJsonObject{{QStringLiteral("file"), request.output},
                          {QStringLiteral("duration"), result->duration},
                          {QStringLiteral("frames"), result->frames}});
    co_return 0;
}

} // namespace

int runRenderCommand(const QStringList& args) {
    auto parsed = parse(args);
    if (auto* error = std::get_if<QString>(&parsed)) {
        return fail(*error);
    }
    return QCoro::waitFor(render(std::get<RenderRequest>(std::move(parsed))));
}

} // namespace tolvane::cli
