#include "debuglogrow.h"

#include "service/accountrecords.h"

using namespace Qt::StringLiterals;

namespace tolvane {

QString DebugLogRow::title(const LLMCall& call) {
    return call.label.isEmpty() ? u"call"_s : call.label;
}

bool DebugLogRow::failed(const LLMCall& call) {
    return !call.error.isEmpty();
}

QString DebugLogRow::time(const LLMCall& call, const QLocale& locale) {
    return locale.toString(call.createdAt.toLocalTime().time(), QLocale::ShortFormat);
}

QString DebugLogRow::usage(const LLMCall& call) {
    return u"in "_s + QString::number(call.inputTokens + call.cacheReadTokens) + u" · out "_s +
           QString::number(call.outputTokens) + u" · "_s + QString::number(call.latencyMS) +
           u" ms"_s;
}

} // namespace tolvane
