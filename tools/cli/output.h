#pragma once

#include <QJsonObject>
#include <QString>

namespace tolvane::cli {

// Every subcommand prints one compact JSON object per line, flushed at once, so
// scripts can follow a stream as it happens.
void printLine(const QJsonObject& object);

// Prints {"error": description} and returns the failing exit code.
int fail(const QString& description);

} // namespace tolvane::cli
