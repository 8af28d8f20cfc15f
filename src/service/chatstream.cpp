// The two text/event-stream requests of the service client.
#include "apiclient.h"
#include "appsettings.h"
#include "ssestream.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

APIError sessionError(const QNetworkReply& reply, const CancelHandle& cancel) {
    const bool cancelled = cancel && cancel->isCancelled();
    return APIError::session(transportErrorText(reply, cancelled), cancelled);
}

// Waits for the response head. Returns the HTTP failure for a status outside
// 200-299 (the body is not read), or a session error.
QCoro::Task<std::optional<APIError>> awaitHead(QNetworkReply* rawReply, CancelHandle cancel,
                                               QString failureText) {
    const QPointer<QNetworkReply> reply(rawReply);
    while (reply && !reply->isFinished() &&
           !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        co_await waitForData(reply.get());
    }
    if (!reply) {
        co_return APIError::session(u"cancelled"_s, true);
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        const int code = status.toInt();
        if (code < 200 || code > 299) {
            co_return APIError::http(code, failureText);
        }
        co_return std::nullopt;
    }
    co_return sessionError(*reply, cancel);
}

} // namespace

QCoro::Task<APIResult<ChatReply>>
APIClient::chatStream(QString text, std::optional<QString> imageB64,
                      std::optional<QString> imageMime,
                      std::function<void(const QString&)> onStatus, CancelHandle cancel) const {
    const auto base = baseURL();
    if (!base) {
        co_return Unexpected{APIError::badURL()};
    }
    QJsonObject body{{u"user_id"_s, m_settings ? m_settings->userID() : QString()},
                     {u"text"_s, text},
                     {u"time_zone"_s, detail::currentTimeZoneId()}};
    if (imageB64) {
        body.insert(u"image_b64"_s, *imageB64);
        body.insert(u"image_mime"_s, imageMime.value_or(u"image/png"_s));
    }
    HttpRequest request;
    request.request = makeRequest(appending(*base, u"inapp/stream"_s));
    request.request.setRawHeader("Content-Type", "application/json");
    request.request.setRawHeader("Accept", "text/event-stream");
    request.method = "POST";
    request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    request.timeout = std::chrono::seconds(300);

    if (cancel && cancel->isCancelled()) {
        co_return Unexpected{APIError::session(u"cancelled"_s, true)};
    }
    QPointer<QNetworkReply> reply = open(request, cancel);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> owner(reply.get(),
                                                                   [](QNetworkReply* r) {
                                                                       r->disconnect();
                                                                       if (!r->isFinished()) {
                                                                           r->abort();
                                                                       }
                                                                       r->deleteLater();
                                                                   });

    if (auto failure = co_await awaitHead(reply.get(), cancel, u"chat stream failed"_s)) {
        if (!reply) {
            owner.release();
        }
        co_return Unexpected{*failure};
    }

    sse::ChatStreamHandler handler(std::move(onStatus));
    sse::Framer framer;
    const auto onBlock = [&handler](const QByteArray& block) { return handler.handle(block); };
    for (;;) {
        co_await waitForData(reply.get());
        if (!reply) {
            owner.release();
            co_return Unexpected{APIError::session(u"cancelled"_s, true)};
        }
        const QByteArray chunk = reply->isOpen() ? reply->readAll() : QByteArray();
        if (!chunk.isEmpty()) {
            if (!framer.feed(chunk, onBlock)) {
                handler.fail(APIError::decoding(u"stream block too large"_s));
            }
            if (handler.failure()) {
                co_return Unexpected{*handler.failure()};
            }
            continue;
        }
        if (reply->isFinished()) {
            break;
        }
    }
    if (isTransportFailure(*reply) || (cancel && cancel->isCancelled())) {
        co_return Unexpected{sessionError(*reply, cancel)};
    }
    co_return handler.finish(framer.takeRemainder());
}

QCoro::Task<APIResult<Done>> APIClient::events(std::function<QCoro::Task<void>()> onNotify,
                                               CancelHandle cancel) const {
    const auto base = baseURL();
    if (!base) {
        co_return Unexpected{APIError::badURL()};
    }
    HttpRequest request;
    request.request = makeRequest(appending(*base, u"inapp/events"_s));
    request.request.setRawHeader("Accept", "text/event-stream");
    request.request.setRawHeader("Authorization", bearer().toUtf8());
    request.timeout = std::chrono::seconds(60);

    if (cancel && cancel->isCancelled()) {
        co_return Unexpected{APIError::session(u"cancelled"_s, true)};
    }
    QPointer<QNetworkReply> reply = open(request, cancel);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> owner(reply.get(),
                                                                   [](QNetworkReply* r) {
                                                                       r->disconnect();
                                                                       if (!r->isFinished()) {
                                                                           r->abort();
                                                                       }
                                                                       r->deleteLater();
                                                                   });

    if (auto failure = co_await awaitHead(reply.get(), cancel, u"event stream failed"_s)) {
        if (!reply) {
            owner.release();
        }
        co_return Unexpected{*failure};
    }

    sse::Framer framer;
    int pendingNotifies = 0;
    const auto onBlock = [&pendingNotifies](const QByteArray& block) {
        if (sse::isNotify(block)) {
            ++pendingNotifies;
        }
        return true;
    };
    for (;;) {
        co_await waitForData(reply.get());
        if (!reply) {
            owner.release();
            co_return Unexpected{APIError::session(u"cancelled"_s, true)};
        }
        // Reads at most one chunk before handing out its notifies, each awaited
        // before the next is read, so events keep their order.
        const QByteArray chunk = reply->isOpen() ? reply->readAll() : QByteArray();
        if (!chunk.isEmpty()) {
            if (!framer.feed(chunk, onBlock)) {
                co_return Unexpected{APIError::decoding(u"stream block too large"_s)};
            }
            while (pendingNotifies > 0) {
                --pendingNotifies;
                if (onNotify) {
                    co_await onNotify();
                }
                if (!reply) {
                    owner.release();
                    co_return Unexpected{APIError::session(u"cancelled"_s, true)};
                }
                if (cancel && cancel->isCancelled()) {
                    co_return Unexpected{APIError::session(u"cancelled"_s, true)};
                }
            }
            continue;
        }
        if (reply->isFinished()) {
            break;
        }
    }
    if (isTransportFailure(*reply) || (cancel && cancel->isCancelled())) {
        co_return Unexpected{sessionError(*reply, cancel)};
    }
    co_return Done{};
}

} // namespace tolvane
