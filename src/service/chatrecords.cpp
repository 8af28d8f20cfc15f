#include "chatrecords.h"

#include "jsonreader.h"

using namespace Qt::StringLiterals;

namespace tolvane {

ChatImage ChatImage::read(JsonReader& reader) {
    ChatImage image;
    image.dataB64 = reader.string("data_b64"_L1);
    image.mime = reader.string("mime"_L1);
    image.caption = reader.string("caption"_L1);
    image.group = reader.optionalString("group"_L1);
    return image;
}

TurnDebug TurnDebug::read(JsonReader& reader) {
    TurnDebug debug;
    debug.model = reader.string("model"_L1);
    debug.inputTokens = reader.integer("input_tokens"_L1);
    debug.outputTokens = reader.integer("output_tokens"_L1);
    debug.cacheReadTokens = reader.integer("cache_read_tokens"_L1);
    debug.cacheWriteTokens = reader.integer("cache_write_tokens"_L1);
    debug.costUSD = reader.number("cost_usd"_L1);
    return debug;
}

InAppNotification InAppNotification::read(JsonReader& reader) {
    InAppNotification notification;
    notification.text = reader.string("text"_L1);
    notification.imageB64 = reader.optionalString("image_b64"_L1);
    notification.createdAt = reader.date("created_at"_L1);
    return notification;
}

NotificationWrapper NotificationWrapper::read(JsonReader& reader) {
    NotificationWrapper wrapper;
    wrapper.drafts = reader.optionalList<InAppNotification>("drafts"_L1);
    wrapper.scheduled = reader.optionalList<InAppNotification>("scheduled"_L1);
    wrapper.posts = reader.optionalList<InAppNotification>("posts"_L1);
    wrapper.memories = reader.optionalList<InAppNotification>("memories"_L1);
    wrapper.rituals = reader.optionalList<InAppNotification>("rituals"_L1);
    wrapper.accounts = reader.optionalList<InAppNotification>("accounts"_L1);
    wrapper.notifications = reader.optionalList<InAppNotification>("notifications"_L1);
    return wrapper;
}

} // namespace tolvane
