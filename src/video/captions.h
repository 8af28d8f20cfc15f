#pragma once

#include "recording/ondevicetranscriber.h"
#include "video/captionstyle.h"
#include "video/jumpcuts.h"

#include <QImage>
#include <QList>
#include <QString>

#include <optional>

namespace tolvane {

// One caption: the words shown together and when. Before cutting the times are
// relative to the start of the trimmed stretch; after mapChunks they are times
// of the output video.
struct CaptionChunk {
    struct Word {
        QString text;
        double start = 0.0;
        double end = 0.0;
        friend bool operator==(const Word&, const Word&) = default;
    };

    QString text;
    double start = 0.0;
    double end = 0.0;
    // Present when the chunk came from a transcription.
    std::optional<QList<Word>> words;

    // The timed words, or, without them, the text's words spread evenly over the
    // chunk by their length (words of one or two characters weigh as two).
    QList<Word> timedWords() const;

    friend bool operator==(const CaptionChunk&, const CaptionChunk&) = default;
};

// What the preview shows at one moment.
struct ActiveCaption {
    QString text;
    // Index into the chunk's timedWords.
    std::optional<int> highlightedWord;
    friend bool operator==(const ActiveCaption&, const ActiveCaption&) = default;
};

namespace Captions {

// The raw value ("bubble", "tiktok"), the editor's label ("Bubble", "Bold") and
// the characters per chunk (64, 18) of a style.
QString rawValue(CaptionStyle style);
std::optional<CaptionStyle> styleFromRawValue(const QString& raw);
QString label(CaptionStyle style);
int maxChars(CaptionStyle style);

// User-perceived characters (grapheme clusters): "e" + combining accent, a flag
// or a family emoji each count as one.
int graphemeCount(const QString& text);

// Groups timed words into chunks of at most maxChars (a longer single word
// stands alone), closing a chunk early after a sentence end once it holds half
// the limit.
QList<CaptionChunk> chunks(const QList<OnDeviceTranscriber::Segment>& segments, int maxChars);

// Splits plain text into lines the same way and times them over `duration` in
// proportion to their length. No text or no duration gives no chunks.
QList<CaptionChunk> chunks(const QString& text, double duration, int maxChars);

// Moves chunks (times relative to trimStart) onto the output timeline that
// plays `keptRanges` (source times, in order) back to back. Words inside a
// removed pause disappear; a chunk left without words, or without length, is
// dropped.
QList<CaptionChunk> mapChunks(const QList<CaptionChunk>& chunks,
                              const QList<JumpCuts::Range>& keptRanges, double trimStart);

// Pixels per point of the caption pictures; they are shown at 1/scale of their
// pixel size.
inline constexpr int imageScale = 2;
// The width the overlay draws captions at, in points.
inline constexpr double overlayWidth = 972.0;

// Draws one caption, white on transparent with a black outline and soft shadow
// (tiktok) or on a rounded translucent black box (bubble), word `highlight` (an
// index into the text's space-separated words) in yellow when it exists.
// Premultiplied ARGB at imageScale pixels per point: (2 * maxWidth) x
// (2 * (2 * vertical margin + text height in whole points)) pixels. A null
// image when the canvas cannot be made (no room for text, or too large).
QImage renderCaptionImage(const QString& text, std::optional<int> highlight, CaptionStyle style,
                          double maxWidth = overlayWidth);

// The same caption drawn once per entry of `highlights`, in that order. The
// outline and shadow, most of the cost, are drawn once for all of them. Empty
// when the canvas cannot be made.
QList<QImage> renderCaptionImages(const QString& text, const QList<std::optional<int>>& highlights,
                                  CaptionStyle style, double maxWidth = overlayWidth);

} // namespace Captions
} // namespace tolvane
