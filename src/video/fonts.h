#pragma once

#include <QFont>
#include <QString>

namespace tolvane::Fonts {

// The faces the rendered pictures (captions, hook title) are drawn with, loaded
// by file so that every machine draws the same glyphs. Safe to call from any
// thread once a QGuiApplication exists.

// Files of the faces; scripts/setup.sh installs them.
inline constexpr const char* heavyFontFile =
    "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Black.ttf";
inline constexpr const char* boldFontFile =
    "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Bold.ttf";

// A heavy (black) sans-serif face of the given pixel size.
QFont heavyFont(qreal pixelSize);
// A bold sans-serif face of the given pixel size.
QFont boldFont(qreal pixelSize);

// Empty when both faces loaded; otherwise what is missing. The fonts above then
// fall back to the system's sans-serif face at the same weight, so drawing still
// works, only in a different face.
QString loadProblem();

} // namespace tolvane::Fonts
