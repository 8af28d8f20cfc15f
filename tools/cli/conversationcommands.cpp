#include "conversationcommands.h"

#include "common/iso8601.h"
#include "conversation/conversationowner.h"
#include "conversation/conversationstore.h"
#include "output.h"
#include "service/appsettings.h"
#include "service/imageattachment.h"

#include <QJsonArray>

#include <qcoro/qcorosignal.h>

using namespace Qt::StringLiterals;

namespace tolvane::cli {

const char* const conversationUsage = R"(conversation commands (the app's own conversation file):
  conversation send TEXT [--image FILE]    status lines as they arrive, then the conversation
  conversation show                        the conversation as the app loads it
  conversation drain                       fetch waiting notifications, then show
)";

namespace {

QJsonObject conversationJson(const ConversationStore& store) {
    QJsonArray messages;
    for (const ChatMessage& message : store.messages()) {
        QJsonArray gallery;
        for (const QByteArray& image : message.gallery) {
            gallery.append(image.size());
        }
        QJsonArray actions;
        for (const ChatAction& action : message.actions) {
            actions.append(QJsonObject{{u"label"_s, action.label},
                                       {u"url"_s, action.url.toString(QUrl::FullyEncoded)},
                                       {u"token"_s, action.token ? QJsonValue(*action.token)
                                                                 : QJsonValue(QJsonValue::Null)}});
        }
        messages.append(QJsonObject{
            {u"role"_s, message.role == ChatMessage::Role::user ? u"user"_s : u"coach"_s},
            {u"text"_s, message.text},
            {u"timestamp"_s, iso8601::formatWithMilliseconds(message.timestamp)},
            {u"image_bytes"_s, message.imageData ? QJsonValue(message.imageData->size())
                                                 : QJsonValue(QJsonValue::Null)},
            {u"gallery_bytes"_s, gallery},
            {u"actions"_s, actions}});
    }
    return {{u"messages"_s, messages}};
}

// The caller asked for the change to be kept: a save that failed is the
// command's failure, not a warning.
std::optional<QString> saveFailure(ConversationStore& store) {
    store.flush();
    if (store.saveError().isEmpty()) {
        return std::nullopt;
    }
    return u"Could not save the conversation: "_s + store.saveError();
}

} // namespace

QCoro::Task<int> runConversationCommand(QStringList args, QString serviceRoot) {
    if (args.value(0) != "conversation"_L1) {
        co_return -1;
    }
    args.removeFirst();
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    const ServiceEndpoints endpoints = serviceRoot.isEmpty()
                                           ? ServiceEndpoints::builtIn()
                                           : ServiceEndpoints::forRoot(serviceRoot);
    // The app rewrites the whole file after every change; writing beside it
    // would lose whichever side saved first. Held until the command ends.
    ConversationOwner owner;
    if (command != "show"_L1 && !owner.claim()) {
        const auto holder = owner.holder();
        if (holder && holder->program == "tolvane-cli"_L1) {
            co_return fail(u"Another tolvane-cli (pid %1) is changing this conversation; try "
                           "again when it has finished."_s.arg(holder->pid));
        }
        const QString pid = holder ? u" (pid %1)"_s.arg(holder->pid) : QString();
        co_return fail(u"Tolvane is open%1 and owns this conversation. Send from the app, or quit "
                       "it first."_s.arg(pid));
    }
    AppSettings settings;
    co_await settings.registerSession(endpoints);
    ConversationStore store(settings, {}, endpoints);

    if (command == "show"_L1 && args.isEmpty()) {
        printLine(conversationJson(store));
        co_return 0;
    }
    if (command == "drain"_L1 && args.isEmpty()) {
        store.drainNotifications();
        if (store.isDraining()) {
            co_await qCoro(&store, &ConversationStore::isDrainingChanged);
        }
        if (const auto failure = saveFailure(store)) {
            co_return fail(*failure);
        }
        printLine(conversationJson(store));
        co_return 0;
    }
    if (command == "send"_L1) {
        QByteArray image;
        if (const qsizetype at = args.indexOf(u"--image"_s); at >= 0 && at + 1 < args.size()) {
            auto read = imageattachment::readFile(args.at(at + 1));
            if (!read) {
                co_return fail(read.error());
            }
            image = std::move(read).value();
            args.remove(at, 2);
        }
        if (args.size() != 1) {
            co_return fail(u"usage: conversation send TEXT [--image FILE]"_s);
        }
        QObject::connect(&store, &ConversationStore::statusReceived, &store,
                         [](const QString& text) {
                             printLine({{u"status"_s, text}});
                         });
        store.send(args.first(), image);
        if (!store.isSending()) {
            co_return fail(u"Nothing to send: the message is empty."_s);
        }
        co_await qCoro(&store, &ConversationStore::sendFinished);
        if (const auto failure = saveFailure(store)) {
            co_return fail(*failure);
        }
        printLine(conversationJson(store));
        co_return store.lastError().isEmpty() ? 0 : fail(store.lastError());
    }
    co_return fail(u"usage: conversation send TEXT [--image FILE] | show | drain"_s);
}

} // namespace tolvane::cli
