#pragma once

#include <QSize>
#include <QSizeF>

#include <optional>

namespace tolvane {

// The main window's first size: nine tenths of the screen's available area,
// rounded, at least 720 x 560; 1296 x 810 without a screen.
QSize initialWindowSize(std::optional<QSizeF> availableArea);

} // namespace tolvane
