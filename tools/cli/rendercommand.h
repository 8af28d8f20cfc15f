#pragma once

#include <QStringList>

namespace tolvane::cli {

extern const char* const renderUsage;

// "media render FILE OUT.mp4 [options]": renders one short exactly as the
// options describe (every effect off unless named), printing progress lines.
// `args` are the arguments after "render".
int runRenderCommand(const QStringList& args);

} // namespace tolvane::cli
