#pragma once

#include <QLoggingCategory>

namespace tolvane {

// The video workflow's diagnostic lines, each beginning "TOLVANE-VIDEO ".
Q_DECLARE_LOGGING_CATEGORY(lcVideo)

} // namespace tolvane
