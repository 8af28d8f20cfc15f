#pragma once

#include <QString>

// Shortening that never splits what a reader sees as one character: an emoji
// with its modifiers, a flag, a ZWJ sequence, a letter with its combining
// marks. Lengths are UTF-16 code units, as everywhere else in the coach.
namespace tolvane::coach::textcut {

// The longest prefix of `text` of at most `max` units that ends between two
// grapheme clusters.
QString prefix(const QString& text, qsizetype max);

// `text` when it fits in `max` units, else a prefix with "…" appended, the
// whole no longer than `max`.
QString elide(const QString& text, qsizetype max);

// The first grapheme cluster of `text`, or an empty string.
QString firstGrapheme(const QString& text);

} // namespace tolvane::coach::textcut
