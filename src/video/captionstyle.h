#pragma once

namespace tolvane {

// The look of the captions.
enum class CaptionStyle {
    bubble,
    tiktok,
};

} // namespace tolvane
