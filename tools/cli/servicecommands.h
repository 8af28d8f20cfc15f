#pragma once

#include <QStringList>

#include <qcoro/qcorotask.h>

namespace tolvane::cli {

// Runs one service subcommand (`args` starts with its name) against
// `serviceRoot`, or the built-in root when it is empty. Returns the exit code,
// or -1 when the name is not a service subcommand.
QCoro::Task<int> runServiceCommand(QStringList args, QString serviceRoot);

// The usage lines of the service subcommands.
extern const char* const serviceUsage;

} // namespace tolvane::cli
