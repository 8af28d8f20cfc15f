#pragma once

#include <QLocale>
#include <QString>

namespace tolvane {

struct LLMCall;

// The texts of one row of the AI call log.
struct DebugLogRow {
    // The call's label, or "call" when it has none.
    static QString title(const LLMCall& call);
    // Failed calls show their title in red.
    static bool failed(const LLMCall& call);
    // The time of the call in the user's short time style and time zone.
    static QString time(const LLMCall& call, const QLocale& locale = QLocale());
    // "in " + (input + cache-read tokens) + " · out " + output + " · " + latency + " ms";
    // cached input was still input the model read.
    static QString usage(const LLMCall& call);
};

} // namespace tolvane
