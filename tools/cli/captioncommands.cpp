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

namespace tolvane::cli {

namespace {

using OnDeviceTranscriber::Segment;

const QString transcribeUsage =
    QStringLiteral("usage: media transcribe FILE [--start S] [--end E]");
const QString captionsUsage = QStringLiteral(
    "usage: media captions FILE [--start S] [--end E] [--style tiktok|bubble] [--jump-cuts] "
    "[--text TEXT] [--align] [--images DIR] [--highlight] [--srt FILE] [--vtt FILE]");

// FILE, then options: those in `valued` take the next argument, `flags` none.
struct Parsed {
    QString file;
    QHash<QString, QString> values;
    QSet<QString> flags;
};

std::optional<Parsed> parse(const QStringList& args, const QStringList& valued,
                            const QStringList& flags) {
    if (args.isEmpty() || args.first().startsWith(QLatin1String("--"))) {
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
    const auto s = parsed.values.contains(QStringLiteral("--start"))
                       ? seconds(parsed.values.value(QStringLiteral("--start")))
                       : std::optional(0.0);
    const auto e = parsed.values.contains(QStringLiteral("--end"))
                       ? seconds(parsed.values.value(QStringLiteral("--end")))
                       : std::optional(loaded->duration);
    if (!s || !e || *e <= *s) {
        return QStringLiteral("--start and --end must be seconds with start < end");
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
        out.append(QJsonObject{{QStringLiteral("text"), w.text},
                               {QStringLiteral("start"), tidy(w.start)},
                               {QStringLiteral("end"), tidy(w.end)}});
    }
    return out;
}

bool writeText(const QString& path, const QString& text, QString& problem) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0 ||
        !file.flush()) {
        problem =
            QStringLiteral("could not write ") + path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}

int transcribe(const QStringList& args) {
    const auto parsed = parse(args, {QStringLiteral("--start"), QStringLiteral("--end")}, {});
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
        segments.append(QJsonObject{{QStringLiteral("text"), s.text},
                                    {QStringLiteral("start"), s.start},
                                    {QStringLiteral("duration"), s.duration}});
    }
    printLine(QJsonObject{{QStringLiteral("text"), result->transcript},
                          {QStringLiteral("segments"), segments}});
    return 0;
}

int captions(const QStringList& args) {
    const auto parsed = parse(
        args,
        {QStringLiteral("--start"), QStringLiteral("--end"), QStringLiteral("--style"),
         QStringLiteral("--text"), QStringLiteral("--images"), QStringLiteral("--srt"),
         QStringLiteral("--vtt")},
        {QStringLiteral("--jump-cuts"), QStringLiteral("--align"), QStringLiteral("--highlight")});
    if (!parsed) {
        return fail(captionsUsage);
    }
    const auto style = Captions::styleFromRawValue(
        parsed->values.value(QStringLiteral("--style"), QStringLiteral("tiktok")));
    if (!style) {
        return fail(QStringLiteral("--style must be tiktok or bubble"));
    }
    const bool hasText = parsed->values.contains(QStringLiteral("--text"));
    if (parsed->flags.contains(QStringLiteral("--align")) && !hasText) {
        return fail(QStringLiteral("--align needs --text with the words to time"));
    }
    const MediaAsset asset(parsed->file);
    double start = 0;
    double end = 0;
    if (const auto problem = stretch(*parsed, asset, start, end)) {
        return fail(*problem);
    }
    const MediaTimeRange range = MediaTimeRange::fromSeconds(start, end);
    const int maxChars = Captions::maxChars(*style);
    const QString text = parsed->values.value(QStringLiteral("--text"));

    QList<CaptionChunk> chunks;
    if (hasText && !parsed->flags.contains(QStringLiteral("--align"))) {
        chunks = Captions::chunks(text, end - start, maxChars);
        if (chunks.isEmpty()) {
            return fail(QStringLiteral("--text holds no words"));
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

    if (parsed->flags.contains(QStringLiteral("--jump-cuts"))) {
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
    if (const QString srt = parsed->values.value(QStringLiteral("--srt")); !srt.isEmpty()) {
        if (!writeText(srt, Subtitles::toSrt(chunks), problem)) {
            return fail(problem);
        }
    }
    if (const QString vtt = parsed->values.value(QStringLiteral("--vtt")); !vtt.isEmpty()) {
        if (!writeText(vtt, Subtitles::toVtt(chunks), problem)) {
            return fail(problem);
        }
    }

    int images = 0;
    if (const QString dirPath = parsed->values.value(QStringLiteral("--images"));
        !dirPath.isEmpty()) {
        QDir dir(dirPath);
        if (!dir.mkpath(QStringLiteral("."))) {
            return fail(QStringLiteral("could not create ") + dir.absolutePath());
        }
        const bool perWord = parsed->flags.contains(QStringLiteral("--highlight"));
        for (qsizetype i = 0; i < chunks.size(); ++i) {
            const CaptionChunk& chunk = chunks.at(i);
            QList<std::pair<QString, std::optional<int>>> pictures{
                {QStringLiteral("chunk-%1.png").arg(i + 1, 3, 10, QLatin1Char('0')), std::nullopt}};
            if (perWord) {
                for (qsizetype w = 0; w < chunk.timedWords().size(); ++w) {
                    pictures.append({QStringLiteral("chunk-%1-word-%2.png")
                                         .arg(i + 1, 3, 10, QLatin1Char('0'))
                                         .arg(w + 1, 2, 10, QLatin1Char('0')),
                                     int(w)});
                }
            }
            for (const auto& [name, highlight] : pictures) {
                const QImage image = Captions::renderCaptionImage(chunk.text, highlight, *style);
                // A caption that cannot be drawn is left out, as in the video.
                if (image.isNull()) {
                    continue;
                }
                if (!image.save(dir.filePath(name), "PNG")) {
                    return fail(QStringLiteral("could not write ") + dir.filePath(name));
                }
                ++images;
            }
        }
    }

    QJsonArray list;
    for (const CaptionChunk& chunk : chunks) {
        QJsonObject item{{QStringLiteral("text"), chunk.text},
                         {QStringLiteral("start"), tidy(chunk.start)},
                         {QStringLiteral("end"), tidy(chunk.end)}};
        if (chunk.words) {
            item.insert(QStringLiteral("words"), wordsJson(*chunk.words));
        }
        list.append(item);
    }
    QJsonObject out{{QStringLiteral("chunks"), list}};
    if (parsed->values.contains(QStringLiteral("--images"))) {
        out.insert(QStringLiteral("images"), images);
    }
    printLine(out);
    return 0;
}

} // namespace

int runCaptionCommand(const QString& command, const QStringList& args) {
    if (command == QLatin1String("transcribe")) {
        return transcribe(args);
    }
    if (command == QLatin1String("captions")) {
        return captions(args);
    }
    return -1;
}

} // namespace tolvane::cli
