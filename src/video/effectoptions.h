#pragma once

#include "video/captionstyle.h"

#include <QString>

namespace tolvane {

// The effect settings of an edit, as handed to the composition builder.
struct EffectOptions {
    bool fades = true;
    bool kenBurns = true;
    bool progressBar = true;
    bool karaokeHighlight = true;
    bool jumpCuts = true;
    bool punchIn = true;
    CaptionStyle captionStyle = CaptionStyle::tiktok;
    // Empty when the hook is switched off.
    QString hookText;

    friend bool operator==(const EffectOptions&, const EffectOptions&) = default;
};

} // namespace tolvane
