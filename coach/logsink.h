#pragma once

#include <QString>

namespace tolvane::coach {

// Sends Qt's log messages to stderr and, when a path is given, appends them
// with a timestamp to that file.
class LogSink {
public:
    static bool install(const QString& path);
};

} // namespace tolvane::coach
