#include "intent.h"
#include "intentsupport.h"
#include "store.h"

#include <QRandomGenerator>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class LinkIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn LinkIntent::handle(const IntentContext& c, const IntentArgs& a) {
    const QString& code = a.arg;
    CoachTurn t;
    t.intent = u"link"_s;
    const qint64 nowMs = c.in.now.toMSecsSinceEpoch();
    if (code.isEmpty()) {
        static constexpr char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
        QString fresh;
        for (int i = 0; i < 8; ++i) {
            fresh += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(32)]);
        }
        c.store.setState(c.userID, stateLinkCode,
                         fresh + QLatin1Char('|') + QString::number(nowMs + 10 * 60 * 1000));
        t.label = u"Create a link code"_s;
        t.reply = u"Your link code is **%1** (valid for 10 minutes). On the other "
                  "device, send “/link %1” and it will share what I know about "
                  "you. Telegram isn't reachable from this offline coach."_s.arg(fresh);
        return t;
    }
    t.label = u"Redeem a link code"_s;
    const QString wanted = code.trimmed().toUpper();
    std::optional<qint64> owner;
    // The state value is "CODE|expiry in ms".
    if (const auto found = c.store.stateWithPrefix(stateLinkCode, wanted + QLatin1Char('|'))) {
        if (found->second.section(QLatin1Char('|'), 1).toLongLong() >= nowMs) {
            owner = found->first;
        }
    }
    if (!owner || *owner == c.userID) {
        t.reply = u"That code isn't valid (it may have expired). Send /link on the "
                  "other device to get a fresh one."_s;
        return t;
    }
    c.status(u"Copying what I know about you…"_s);
    int copied = 0;
    for (const Memory& m : c.store.memories(*owner)) {
        c.store.remember(c.userID, m.kind, m.value);
        ++copied;
    }
    c.store.setState(*owner, stateLinkCode, {});
    t.reply = u"Linked. This device now knows the %1 thing%2 you told me on the "
              "other one."_s.arg(copied)
                  .arg(copied == 1 ? QString() : u"s"_s);
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeLinkIntent() {
    return std::make_unique<LinkIntent>();
}

} // namespace tolvane::coach
