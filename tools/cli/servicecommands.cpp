#include "servicecommands.h"

#include "output.h"
#include "service/apiclient.h"
#include "service/appsettings.h"
#include "service/imageattachment.h"
#include "service/recordjson.h"

#include <QFile>
#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace tolvane::cli {

const char* const serviceUsage = R"(service commands:
  chat TEXT [--image FILE [--mime TYPE]]   send a chat message; status lines, then the reply
  events [--max N]                         print {"notify": true} per notify event
  register                                 the app's id rules, then session registration
  overview | notifications | debug-status
  profile PLATFORM
  draft TOKEN | draft-preview-url TOKEN
  schedule TOKEN TEXT [--when ISO]         empty or absent --when posts now
  llm-calls [--all] [--limit N]            --all lists every user's calls (default limit 100)
  llm-call ID | clear-llm-calls
  contact EMAIL MESSAGE
  upload FILE DURATION [--title T]         {"progress": p} lines, then {"video_id": N}
)";

namespace {

// Takes "--name VALUE" out of `args`; none when absent.
std::optional<QString> takeOption(QStringList& args, const QString& name) {
    const qsizetype at = args.indexOf(name);
    if (at < 0 || at + 1 >= args.size()) {
        return std::nullopt;
    }
    const QString value = args.at(at + 1);
    args.remove(at, 2);
    return value;
}

bool takeFlag(QStringList& args, const QString& name) {
    return args.removeAll(name) > 0;
}

int usageError(const QString& message) {
    return fail(message);
}

template <typename T>
int printOr(const APIResult<T>& result, const std::function<QJsonObject(const T&)>& print) {
    if (!result) {
        return fail(result.error().description());
    }
    printLine(print(*result));
    return 0;
}

QJsonArray listJson(const auto& items) {
    QJsonArray array;
    for (const auto& item : items) {
        array.append(wire::toJson(item));
    }
    return array;
}

QCoro::Task<int> chat(QStringList args, APIClient client) {
    const auto imagePath = takeOption(args, u"--image"_s);
    auto mime = takeOption(args, u"--mime"_s);
    if (args.size() != 1) {
        co_return usageError(u"usage: chat TEXT [--image FILE [--mime TYPE]]"_s);
    }
    std::optional<QString> imageB64;
    if (imagePath) {
        const auto image = imageattachment::readFile(*imagePath);
        if (!image) {
            co_return fail(image.error());
        }
        imageB64 = QString::fromLatin1(image->toBase64());
    }
    const auto reply =
        co_await client.chatStream(args.first(), imageB64, mime, [](const QString& s) {
            printLine({{u"status"_s, s}});
        });
    if (!reply) {
        co_return fail(reply.error().description());
    }
    QJsonArray images;
    for (const ChatImage& image : reply->images) {
        images.append(QJsonObject{
            {u"mime"_s, image.mime},
            {u"caption"_s, image.caption},
            {u"group"_s, image.group ? QJsonValue(*image.group) : QJsonValue(QJsonValue::Null)},
            {u"bytes"_s, QByteArray::fromBase64(image.dataB64.toLatin1()).size()}});
    }
    printLine({{u"reply"_s, reply->reply},
               {u"debug"_s, reply->debug ? QJsonValue(wire::toJson(*reply->debug))
                                         : QJsonValue(QJsonValue::Null)},
               {u"images"_s, images}});
    co_return 0;
}

QCoro::Task<int> events(QStringList args, APIClient client) {
    const auto maxText = takeOption(args, u"--max"_s);
    int max = -1;
    if (maxText) {
        bool ok = false;
        max = maxText->toInt(&ok);
        if (!ok || max < 1) {
            co_return usageError(u"--max takes a positive number"_s);
        }
    }
    auto cancel = CancelToken::create();
    int seen = 0;
    const auto result = co_await client.events(
        [&]() -> QCoro::Task<void> {
            if (max < 0 || seen < max) {
                printLine({{u"notify"_s, true}});
                if (++seen == max) {
                    cancel->cancel();
                }
            }
            co_return;
        },
        cancel);
    if (!result && !(result.error().cancelled && max > 0 && seen >= max)) {
        co_return fail(result.error().description());
    }
    co_return 0;
}

QCoro::Task<int> upload(QStringList args, APIClient client) {
    const QString title = takeOption(args, u"--title"_s).value_or(QString());
    bool ok = false;
    const double duration = args.value(1).toDouble(&ok);
    if (args.size() != 2 || !ok) {
        co_return usageError(u"usage: upload FILE DURATION [--title T]"_s);
    }
    double lastShown = -1;
    const auto id = co_await client.uploadVideo(args.first(), duration, title, [&](double p) {
        // A line per percent at most; the final 1.0 always shows.
        if (p - lastShown >= 0.01 || p >= 1.0) {
            lastShown = p;
            printLine({{u"progress"_s, p}});
        }
    });
    if (!id) {
        co_return fail(id.error().description());
    }
    printLine({{u"video_id"_s, *id}});
    co_return 0;
}

} // namespace

QCoro::Task<int> runServiceCommand(QStringList args, QString serviceRoot) {
    AppSettings settings;
    const ServiceEndpoints endpoints = serviceRoot.isEmpty()
                                           ? ServiceEndpoints::builtIn()
                                           : ServiceEndpoints::forRoot(serviceRoot);
    const APIClient client(settings, endpoints);
    const QString command = args.takeFirst();

    if (command == "chat"_L1) {
        const int code = co_await chat(args, client);
        co_return code;
    }
    if (command == "events"_L1) {
        const int code = co_await events(args, client);
        co_return code;
    }
    if (command == "upload"_L1) {
        const int code = co_await upload(args, client);
        co_return code;
    }
    if (command == "register"_L1) {
        co_await settings.registerSession(endpoints);
        printLine({{u"user_id"_s, settings.userID()}, {u"provisional"_s, settings.provisional()}});
        co_return 0;
    }
    if (command == "overview"_L1) {
        co_return printOr<Overview>(co_await client.overview(),
                                    [](const Overview& o) { return wire::toJson(o); });
    }
    if (command == "notifications"_L1) {
        co_return printOr<QList<InAppNotification>>(
            co_await client.notifications(), [](const QList<InAppNotification>& list) {
                return QJsonObject{{u"notifications"_s, listJson(list)}};
            });
    }
    if (command == "profile"_L1) {
        if (args.size() != 1) {
            co_return usageError(u"usage: profile PLATFORM"_s);
        }
        co_return printOr<ProfileIdentity>(
            co_await client.profile(args.first()),
            [](const ProfileIdentity& p) { return wire::toJson(p); });
    }
    if (command == "debug-status"_L1) {
        co_return printOr<bool>(co_await client.debugStatus(), [](const bool& debug) {
            return QJsonObject{{u"debug"_s, debug}};
        });
    }
    if (command == "draft"_L1) {
        if (args.size() != 1) {
            co_return usageError(u"usage: draft TOKEN"_s);
        }
        co_return printOr<D>(co_await client.draft(args.first()),
                             [](const D& d) { return wire::toJson(d); });
    }
    if (command == "draft-preview-url"_L1) {
        if (args.size() != 1) {
            co_return usageError(u"usage: draft-preview-url TOKEN"_s);
        }
        const auto url = client.draftPreviewURL(args.first());
        if (!url) {
            co_return fail(APIError::badURL().description());
        }
        printLine({{u"url"_s, url->toString(QUrl::FullyEncoded)}});
        co_return 0;
    }
    if (command == "schedule"_L1) {
        const QString when = takeOption(args, u"--when"_s).value_or(QString());
        if (args.size() != 2) {
            co_return usageError(u"usage: schedule TOKEN TEXT [--when ISO]"_s);
        }
        const auto result = co_await client.schedule(args.at(0), args.at(1), when);
        if (!result) {
            co_return fail(result.error().description());
        }
        printLine(wire::toJson(*result));
        // The service refusing the post is a failure for scripts, too.
        if (result->outcome == ScheduleResult::Outcome::error) {
            co_return fail(result->message.value_or(u"Could not schedule."_s));
        }
        co_return 0;
    }
    if (command == "llm-calls"_L1) {
        const bool all = takeFlag(args, u"--all"_s);
        const auto limitText = takeOption(args, u"--limit"_s);
        bool ok = true;
        const int limit = limitText ? limitText->toInt(&ok) : 100;
        if (!ok || !args.isEmpty()) {
            co_return usageError(u"usage: llm-calls [--all] [--limit N]"_s);
        }
        co_return printOr<QList<LLMCall>>(co_await client.llmCalls(!all, limit),
                                          [](const QList<LLMCall>& calls) {
                                              return QJsonObject{{u"calls"_s, listJson(calls)}};
                                          });
    }
    if (command == "llm-call"_L1) {
        bool ok = false;
        const qint64 id = args.value(0).toLongLong(&ok);
        if (args.size() != 1 || !ok) {
            co_return usageError(u"usage: llm-call ID"_s);
        }
        co_return printOr<LLMCallDetail>(co_await client.llmCall(id),
                                         [](const LLMCallDetail& d) { return wire::toJson(d); });
    }
    if (command == "clear-llm-calls"_L1) {
        co_return printOr<Done>(co_await client.clearLLMCalls(), [](const Done&) {
            return QJsonObject{{u"ok"_s, true}};
        });
    }
    if (command == "contact"_L1) {
        if (args.size() != 2) {
            co_return usageError(u"usage: contact EMAIL MESSAGE"_s);
        }
        co_return printOr<Done>(co_await client.contactSupport(args.at(0), args.at(1)),
                                [](const Done&) {
                                    return QJsonObject{{u"ok"_s, true}};
                                });
    }
    co_return -1;
}

} // namespace tolvane::cli
