#include "intent.h"
#include "intentsupport.h"
#include "store.h"

#include <QRandomGenerator>

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
    t.intent = QStringLiteral("link");
    const qint64 nowMs = c.in.now.toMSecsSinceEpoch();
    if (code.isEmpty()) {
        static constexpr char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
        QString fresh;
        for (int i = 0; i < 8; ++i)
            fresh += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(32)]);
        c.store.setState(c.userId, stateLinkCode,
                         fresh + QLatin1Char('|') + QString::number(nowMs + 10 * 60 * 1000));
        t.label = QStringLiteral("Create a link code");
        t.reply = QStringLiteral("Your link code is **%1** (valid for 10 minutes). On the other "
                                 "device, send “/link %1” and it will share what I know about "
                                 "you. Telegram isn't reachable from this offline coach.")
                      .arg(fresh);
        return t;
    }
    t.label = QStringLiteral("Redeem a link code");
    const QString wanted = code.trimmed().toUpper();
    std::optional<qint64> owner;
    // The state value is "CODE|expiry in ms".
    if (const auto found = c.store.stateWithPrefix(stateLinkCode, wanted + QLatin1Char('|'))) {
        if (found->second.section(QLatin1Char('|'), 1).toLongLong() >= nowMs)
            owner = found->first;
    }
    if (!owner || *owner == c.userId) {
        t.reply = QStringLiteral("That code isn't valid (it may have expired). Send /link on the "
                                 "other device to get a fresh one.");
        return t;
    }
    c.status(QStringLiteral("Copying what I know about you…"));
    int copied = 0;
    for (const Memory& m : c.store.memories(*owner)) {
        c.store.remember(c.userId, m.kind, m.value);
        ++copied;
    }
    c.store.setState(*owner, stateLinkCode, {});
    t.reply = QStringLiteral("Linked. This device now knows the %1 thing%2 you told me on the "
                             "other one.")
                  .arg(copied)
                  .arg(copied == 1 ? QString() : QStringLiteral("s"));
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeLinkIntent() {
    return std::make_unique<LinkIntent>();
}

} // namespace tolvane::coach
