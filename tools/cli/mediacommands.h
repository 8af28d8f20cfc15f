#pragma once

#include <QStringList>

namespace tolvane::cli {

// "media info | extract-audio | jumpcuts | filmstrip ...": the studio's media
// code on files, for scripts and for checking recordings by hand. `args` are
// the arguments after "media".
int runMediaCommand(const QStringList& args);

} // namespace tolvane::cli
