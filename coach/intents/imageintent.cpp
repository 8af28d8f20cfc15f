#include "intent.h"
#include "intentsupport.h"
#include "store.h"

#include <QBuffer>
#include <QImageReader>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class ImageIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn ImageIntent::handle(const IntentContext& c, const IntentArgs&) {
    c.status(u"Looking at your image…"_s);
    CoachTurn t;
    t.intent = u"image"_s;
    t.label = u"Receive an image"_s;
    QBuffer buffer;
    buffer.setData(c.in.image);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid()) {
        t.reply = u"I couldn't read that image. PNG or JPEG screenshots work best."_s;
        return t;
    }
    const bool portrait = size.height() > size.width();
    t.reply = u"Got your image (%1×%2, %3 KB). I can't read what's in it — I'm a "
              "rule-based coach — but tell me in a sentence what it shows and "
              "I'll write the post around it."_s.arg(size.width())
                  .arg(size.height())
                  .arg((c.in.image.size() + 1023) / 1024);
    if (portrait) {
        t.reply += u" Tall images take up more of the feed, which helps."_s;
    }
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeImageIntent() {
    return std::make_unique<ImageIntent>();
}

} // namespace tolvane::coach
