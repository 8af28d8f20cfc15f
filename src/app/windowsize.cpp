#include "windowsize.h"

#include <cmath>

namespace tolvane {

QSize initialWindowSize(std::optional<QSizeF> availableArea) {
    int width = 1296;
    int height = 810;
    if (availableArea) {
        width = static_cast<int>(std::lround(availableArea->width() * 0.9));
        height = static_cast<int>(std::lround(availableArea->height() * 0.9));
    }
    return {std::max(width, 720), std::max(height, 560)};
}

} // namespace tolvane
