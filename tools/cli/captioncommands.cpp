#include "captioncommands.h"

#include "output.h"

#include "platform/mediaasset.h"
#include "recording/ondevicetranscriber.h"
#include "video/captiongenerator.h"
#include "video/captions.h"
#include "video/jumpcuts.h"
#include "video/subtitles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;

namespace tolvane::cli {

namespace {

using OnDeviceTranscriber::Segment;

const QString transcribeUsage = u"usage: media transcribe FILE [--start S] [--end E]"_s;
const QString captionsUsage =
    u"usage: media captions FILE [--start S] [--end E] [--style tiktok|bubble] [--jump-cuts] "
    "[--text TEXT] [--align] [--images DIR] [--highlight] [--srt FILE] [--vtt FILE]"_s;

// FILE, then options: those in `valued` take the next argument, `flags` none.
struct Parsed {
    QString file;
    QHash<QString, QString> values;
    QSet<QString> flags;
};

std::optional<Parsed> parse(const QStringList& args, const QStringList& valued,
                            const QStringList& flags) {
    if (args.isEmpty() || args.first().startsWith("--"_L1)) {
        return std::nullopt;
    }
    Parsed parsed;
    parsed.file = args.first();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& name = args.at(i);
        if (flags.contains(name)) {
            parsed.flags.insert(name);
        } else if (valued.contains(name) && i + 1 < args.size()) {
            parsed.values.insert(name, args.at(++i));
        } else {
            return std::nullopt;
        }
    }
    return parsed;
}

// The stretch to work on: --start/--end, defaulting to the whole file.
std::optional<QString> stretch(const Parsed& parsed, const MediaAsset& asset, double& start,
                               double& end) {
    auto loaded = asset.load();
    if (!loaded) {
        return loaded.error().description;
    }
    const auto seconds = [](const QString& text) -> std::optional<double> {
        bool ok = false;
        const double value = text.toDouble(&ok);
        return ok && std::isfinite(value) && value >= 0 ? std::optional(value) : std::nullopt;
    };
    const auto s = parsed.values.contains(u"--start"_s) ? seconds(parsed.values.value(u"--start"_s))
                                                        : std::optional(0.0);
    const auto e = parsed.values.contains(u"--end"_s) ? seconds(parsed.values.value(u"--end"_s))
                                                      : std::optional(loaded->duration);
    if (!s || !e || *e <= *s) {
        return u"--start and --end must be seconds with start < end"_s;
    }
    start = *s;
    end = std::min(*e, std::max(loaded->duration, *s + 0.1));
    return std::nullopt;
}

// Sums of engine times carry binary noise (3.4400000000000004); microseconds
// are more than enough.
double tidy(double seconds) {
    return std::round(seconds * 1e6) / 1e6;
}

QJsonArray wordsJson(const QList<CaptionChunk::Word>& words) {
    QJsonArray out;
    for (const CaptionChunk::Word& w : words) {
        out.append(
            QJsonObject{{u"text"_s, w.text}, {u"start"_s, tidy(w.start)}, {u"end"_s, tidy(w.end)}});
    }
    return out;
}

bool writeText(const QString& path, const QString& text, QString& problem) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0 ||
        !file.flush()) {
        problem = u"could not write "_s + path + u": "_s + file.errorString();
        return false;
    }
    return true;
}

int transcribe(const QStringList& args) {
    const auto parsed = parse(args, {u"--start"_s, u"--end"_s}, {});
    if (!parsed) {
        return fail(transcribeUsage);
    }
    const MediaAsset asset(parsed->file);
    double start = 0;
    double end = 0;
    if (const auto problem = stretch(*parsed, asset, start, end)) {
        return fail(*problem);
    }
    auto result = CaptionGenerator::transcribeRangeBlocking(
        asset, MediaTimeRange::fromSeconds(start, end), OnDeviceTranscriber::currentLocale());
    if (!result) {
        return fail(result.error().description);
    }
    QJsonArray segments;
    for (const Segment& s : result->segments) {
        segments.append(
            QJsonObject{{u"text"_s, s.text}, {u"start"_s, s.start}, {u"duration"_s, s.duration}});
    }
    printLine(QJsonObject{{u"text"_s, result->transcript}, {u"segments"_s, segments}});
    return 0;
}

int captions(const QStringList& args) {
    const auto parsed = parse(args,
                              {u"--start"_s, u"--end"_s, u"--style"_s, u"--text"_s, u"--images"_s,
                               u"--srt"_s, u"--vtt"_s},
                              {u"--jump-cuts"_s, u"--align"_s, u"--highlight"_s});
    if (!parsed) {
        return fail(captionsUsage);
    }
    const auto style = Captions::styleFromRawValue(parsed->values.value(u"--style"_s, u"tiktok"_s));
    if (!style) {
        return fail(u"--style must be tiktok or bubble"_s);
    }
    const bool hasText = parsed->values.contains(u"--text"_s);
    if (parsed->flags.contains(u"--align"_s) && !hasText) {
        return fail(u"--align needs --text with the words to time"_s);
    }
    const MediaAsset asset(parsed->file);
    double start = 0;
    double end = 0;
    if (const auto problem = stretch(*parsed, asset, start, end)) {
        return fail(*problem);
    }
    const MediaTimeRange range = MediaTimeRange::fromSeconds(start, end);
    const int maxChars = Captions::maxChars(*style);
    const QString text = parsed->values.value(u"--text"_s);

    QList<CaptionChunk> chunks;
    if (hasText && !parsed->flags.contains(u"--align"_s)) {
        chunks = Captions::chunks(text, end - start, maxChars);
        if (chunks.isEmpty()) {
            return fail(u"--text holds no words"_s);
        }
    } else {
        auto result = CaptionGenerator::transcribeRangeBlocking(
            asset, range, OnDeviceTranscriber::currentLocale(), {},
            hasText ? std::optional<QString>(text) : std::nullopt);
        if (!result) {
            return fail(result.error().description);
        }
        chunks = Captions::chunks(result->segments, maxChars);
    }

    if (parsed->flags.contains(u"--jump-cuts"_s)) {
        auto kept = JumpCuts::speechRangesBlocking(asset, range);
        if (!kept) {
            return fail(kept.error().description);
        }
        QList<JumpCuts::Range> ranges;
        for (const MediaTimeRange& r : *kept) {
            ranges << JumpCuts::Range{r.startSeconds(), r.endSeconds()};
        }
        chunks = Captions::mapChunks(chunks, ranges, start);
    }

    QString problem;
    if (const QString srt = parsed->values.value(u"--srt"_s); !srt.isEmpty()) {
        if (!writeText(srt, Subtitles::toSrt(chunks), problem)) {
            return fail(problem);
        }
    }
    if (const QString vtt = parsed->values.value(u"--vtt"_s); !vtt.isEmpty()) {
        if (!writeText(vtt, Subtitles::toVtt(chunks), problem)) {
            return fail(problem);
        }
    }

    int images = 0;
    if (const QString dirPath = parsed->values.value(u"--images"_s); !dirPath.isEmpty()) {
        QDir dir(dirPath);
        if (!dir.mkpath(u"."_s)) {
            return fail(u"could not create "_s + dir.absolutePath());
        }
        const bool perWord = parsed->flags.contains(u"--highlight"_s);
        for (qsizetype i = 0; i < chunks.size(); ++i) {
            const CaptionChunk& chunk = chunks.at(i);
            QStringList names{u"chunk-%1.png"_s.arg(i + 1, 3, 10, QLatin1Char('0'))};
            QList<std::optional<int>> highlights{std::nullopt};
            if (perWord) {
                for (qsizetype w = 0; w < chunk.timedWords().size(); ++w) {
                    names.append(u"chunk-%1-word-%2.png"_s.arg(i + 1, 3, 10, QLatin1Char('0'))
                                     .arg(w + 1, 2, 10, QLatin1Char('0')));
                    highlights.append(int(w));
                }
            }
            // One call per chunk: the outline and shadow are drawn once for
            // all of its pictures.
            const QList<QImage> drawn =
                Captions::renderCaptionImages(chunk.text, highlights, *style);
            for (qsizetype p = 0; p < names.size(); ++p) {
                const QString& name = names.at(p);
                const QImage image = drawn.value(p);
                // A caption that cannot be drawn is left out, as in the video.
                if (image.isNull()) {
                    continue;
                }
                if (!image.save(dir.filePath(name), "PNG")) {
                    return fail(u"could not write "_s + dir.filePath(name));
                }
                ++images;
            }
        }
    }

    QJsonArray list;
    for (const CaptionChunk& chunk : chunks) {
        QJsonObject item{
            {u"text"_s, chunk.text}, {u"start"_s, tidy(chunk.start)}, {u"end"_s, tidy(chunk.end)}};
        if (chunk.words) {
            item.insert(u"words"_s, wordsJson(*chunk.words));
        }
        list.append(item);
    }
    QJsonObject out{{u"chunks"_s, list}};
    if (parsed->values.contains(u"--images"_s)) {
        out.insert(u"images"_s, images);
    }
    printLine(out);
    return 0;
}

} // namespace

int runCaptionCommand(const QString& command, const QStringList& args) {
    if (command == "transcribe"_L1) {
        return transcribe(args);
    }
    if (command == "captions"_L1) {
        return captions(args);
    }
    return -1;
}

} // namespace tolvane::cli
