#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace tolvane {

// What the settings window needs from the local development server's manager:
// its status text (none while the server is not managed), whether it runs, and
// its restart action (which itself does nothing while the server is not
// managed). Plain functions keep the settings independent of the manager.
struct LocalServerHooks {
    std::function<std::optional<QString>()> statusText;
    std::function<bool()> isRunning;
    std::function<void()> restart;
};

} // namespace tolvane
