#pragma once

#include "video/captions.h"

#include <QList>
#include <QString>

namespace tolvane::Subtitles {

// Captions as subtitle files, one cue per chunk in order, times rounded to
// milliseconds. Chunks without length are left out: players drop them anyway.
QString toSrt(const QList<CaptionChunk>& chunks);
QString toVtt(const QList<CaptionChunk>& chunks);

} // namespace tolvane::Subtitles
