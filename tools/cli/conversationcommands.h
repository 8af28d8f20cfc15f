#pragma once

#include <QStringList>

#include <qcoro/qcorotask.h>

namespace tolvane::cli {

// "conversation send|show|drain" on the app's own conversation file and user.
// Returns the exit code, or -1 when `args` is not a conversation command.
QCoro::Task<int> runConversationCommand(QStringList args, QString serviceRoot);

extern const char* const conversationUsage;

} // namespace tolvane::cli
