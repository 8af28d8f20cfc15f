#include "intent.h"
#include "intentsupport.h"
#include "store.h"

#include <QBuffer>
#include <QImageReader>

namespace tolvane::coach {

using namespace intents;

namespace {

class ImageIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn ImageIntent::handle(const IntentContext& c, const IntentArgs&) {
    c.status(QStringLiteral("Looking at your image…"));
    CoachTurn t;
    t.intent = QStringLiteral("image");
    t.label = QStringLiteral("Receive an image");
    QBuffer buffer;
    buffer.setData(c.in.image);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid()) {
        t.reply = QStringLiteral("I couldn't read that image. PNG or JPEG screenshots work best.");
        return t;
    }
    const bool portrait = size.height() > size.width();
    t.reply = QStringLiteral("Got your image (%1×%2, %3 KB). I can't read what's in it — I'm a "
                             "rule-based coach — but tell me in a sentence what it shows and "
                             "I'll write the post around it.")
                  .arg(size.width())
                  .arg(size.height())
                  .arg((c.in.image.size() + 1023) / 1024);
    if (portrait)
        t.reply += QStringLiteral(" Tall images take up more of the feed, which helps.");
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeImageIntent() {
    return std::make_unique<ImageIntent>();
}

} // namespace tolvane::coach
