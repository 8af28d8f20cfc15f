#pragma once

#include <QString>
#include <QStringList>

namespace tolvane::cli {

// "media transcribe | captions ...": speech to timed words and captions,
// offline. Returns -1 for a command that is not one of these.
int runCaptionCommand(const QString& command, const QStringList& args);

} // namespace tolvane::cli
