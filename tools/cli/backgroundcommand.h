#pragma once

#include <QStringList>

namespace tolvane::cli {

// "media background FILE OUT.mov --blur | --preset NAME | --image PICTURE":
// replaces the background behind the person, printing progress lines. `args`
// are the arguments after "background".
int runBackgroundCommand(const QStringList& args);

} // namespace tolvane::cli
