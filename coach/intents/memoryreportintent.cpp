#include "intent.h"
#include "intentsupport.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class MemoryReportIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn MemoryReportIntent::handle(const IntentContext& c, const IntentArgs&) {
    c.status(QStringLiteral("Reading my notes about you…"));
    CoachTurn t;
    t.intent = QStringLiteral("memory.report");
    t.label = QStringLiteral("Report memory");
    const QList<Memory> all = c.store.memories(c.userId);
    if (all.isEmpty()) {
        t.reply = QStringLiteral("I don't know anything about you yet. Tell me your role, who you "
                                 "help and what you're working on.");
        return t;
    }
    QStringList lines;
    for (const Memory& m : all)
        lines.append(QStringLiteral("- %1: %2").arg(kindLabel(m.kind), m.value));
    t.reply = QStringLiteral("Here's what I remember:\n\n") + lines.join(QLatin1Char('\n')) +
              QStringLiteral("\n\n/forgetme erases all of it.");
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeMemoryReportIntent() {
    return std::make_unique<MemoryReportIntent>();
}

} // namespace tolvane::coach
