#include "intent.h"
#include "intentsupport.h"
#include "store.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class MemoryReportIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn MemoryReportIntent::handle(const IntentContext& c, const IntentArgs&) {
    c.status(u"Reading my notes about you…"_s);
    CoachTurn t;
    t.intent = u"memory.report"_s;
    t.label = u"Report memory"_s;
    const QList<Memory> all = c.store.memories(c.userID);
    if (all.isEmpty()) {
        t.reply = u"I don't know anything about you yet. Tell me your role, who you "
                  "help and what you're working on."_s;
        return t;
    }
    QStringList lines;
    for (const Memory& m : all) {
        lines.append(u"- %1: %2"_s.arg(kindLabel(m.kind), m.value));
    }
    t.reply = u"Here's what I remember:\n\n"_s + lines.join(QLatin1Char('\n')) +
              u"\n\n/forgetme erases all of it."_s;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeMemoryReportIntent() {
    return std::make_unique<MemoryReportIntent>();
}

} // namespace tolvane::coach
