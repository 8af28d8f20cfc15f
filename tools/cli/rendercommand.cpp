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

using namespace Qt::StringLiterals;

namespace tolvane::cli {

const char* const renderUsage =
    "  media render FILE OUT.mp4 [--trim S E] [--crop-x X] [--zoom Z] [--fades]\n"
    "        [--ken-burns] [--punch-in] [--progress-bar] [--jump-cuts] [--hook TEXT]\n"
    "        [--captions TEXT] [--style tiktok|bubble] [--highlight] [--threads N]\n"
    "                                           renders the short; {\"progress\": p} lines,\n"
    "                                           then {\"file\", \"duration\", \"frames\"}\n";

namespace {

const QString cancelledText = u"Rendering was cancelled."_s;

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
    const QString usageText = u"usage:\n"_s + QString::fromUtf8(renderUsage);
    if (args.size() < 2 || args.at(0).startsWith("--"_L1) || args.at(1).startsWith("--"_L1)) {
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
        if (name == "--fades"_L1) {
            request.options.fades = true;
        } else if (name == "--ken-burns"_L1) {
            request.options.kenBurns = true;
        } else if (name == "--punch-in"_L1) {
            request.options.punchIn = true;
        } else if (name == "--progress-bar"_L1) {
            request.options.progressBar = true;
        } else if (name == "--jump-cuts"_L1) {
            request.options.jumpCuts = true;
        } else if (name == "--highlight"_L1) {
            request.options.karaokeHighlight = true;
        } else if (name == "--trim"_L1) {
            const auto start = value(1) ? number(*value(1)) : std::nullopt;
            const auto end = value(2) ? number(*value(2)) : std::nullopt;
            if (!start || !end) {
                return u"--trim needs a start and an end in seconds"_s;
            }
            request.trim = std::pair{*start, *end};
            i += 2;
        } else if (name == "--crop-x"_L1) {
            const auto x = value() ? number(*value()) : std::nullopt;
            if (!x || *x < 0 || *x > 1) {
                return u"--crop-x must be a number from 0 to 1"_s;
            }
            request.cropX = *x;
            ++i;
        } else if (name == "--zoom"_L1) {
            const auto z = value() ? number(*value()) : std::nullopt;
            if (!z || *z < 1) {
                return u"--zoom must be a number of at least 1"_s;
            }
            request.zoom = *z;
            ++i;
        } else if (name == "--hook"_L1 || name == "--captions"_L1) {
            if (!value()) {
                return name + u" needs a text"_s;
            }
            (name == "--hook"_L1 ? request.hook : request.captions) = *value();
            ++i;
        } else if (name == "--style"_L1) {
            const auto style = value() ? Captions::styleFromRawValue(*value()) : std::nullopt;
            if (!style) {
                return u"--style must be tiktok or bubble"_s;
            }
            request.options.captionStyle = *style;
            ++i;
        } else if (name == "--threads"_L1) {
            bool ok = false;
            request.threads = value() ? value()->toInt(&ok) : 0;
            if (!ok || request.threads < 0 || request.threads > 64) {
                return u"--threads must be a whole number from 0 to 64"_s;
            }
            ++i;
        } else {
            return u"unknown option "_s + name + u"\n"_s + usageText;
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
            co_return fail(u"--trim must lie within the file (0 to %1 s) with start "
                           "before end"_s.arg(info->duration, 0, 'f', 3));
        }
    }

    VideoCompositionBuilder::Inputs inputs;
    inputs.asset = asset;
    inputs.trimRange = MediaTimeRange::fromSeconds(start, end);
    inputs.captionText = request.captions.trimmed();
    inputs.options = request.options;
    inputs.cropCenterX = request.cropX;
    inputs.cropZoom = request.zoom;

    const QString partial = partialBeside(request.output, u"tolvane-render"_s, u".mp4"_s);
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
    printLine(QJsonObject{{u"file"_s, request.output},
                          {u"duration"_s, result->duration},
                          {u"frames"_s, result->frames}});
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
