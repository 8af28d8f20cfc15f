// The two text/event-stream requests of the service client.
#include "apiclient.h"
#include "appsettings.h"
#include "jsonreader.h"
#include "ssestream.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

APIError sessionError(const QNetworkReply* reply, const CancelHandle& cancel) {
    const bool cancelled = (cancel && cancel->isCancelled()) || !reply;
    return APIError::session(reply ? transportErrorText(*reply, cancelled) : u"cancelled"_s,
                             cancelled);
}

// Opens a text/event-stream request and hands each chunk of its body to
// `onChunk`, in order, until the body ends or `onChunk` returns false. A status
// outside 200-299 fails with `failureText` and reads no body; connection
// failures and cancellation come back as session errors.
QCoro::Task<std::optional<APIError>>
pumpStream(HttpRequest request, CancelHandle cancel, QString failureText,
           std::function<QCoro::Task<bool>(QByteArray)> onChunk) {
    if (cancel && cancel->isCancelled()) {
        co_return APIError::session(u"cancelled"_s, true);
    }
    const QPointer<QNetworkReply> reply = open(request, cancel);
    const std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> owner(reply.get(),
                                                                         [](QNetworkReply* r) {
                                                                             r->disconnect();
                                                                             if (!r->isFinished()) {
                                                                                 r->abort();
                                                                             }
                                                                             r->deleteLater();
                                                                         });
    const auto statusOf = [&reply] {
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    };

    while (reply && !reply->isFinished() && !statusOf().isValid()) {
        co_await waitForData(reply.get());
    }
    if (!reply || !statusOf().isValid()) {
        co_return sessionError(reply.get(), cancel);
    }
    if (const int code = statusOf().toInt(); code < 200 || code > 299) {
        // The server's own words when it sends them ("message too long", a
        // full store): a short body of declared length with an "error" text.
        // A body of unknown length is not waited for.
        constexpr qint64 maxErrorBody = 64 * 1024;
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        const bool explained = length.isValid() && length.toLongLong() <= maxErrorBody;
        QByteArray body;
        while (explained && reply && body.size() <= maxErrorBody &&
               !(cancel && cancel->isCancelled())) {
            body += reply->readAll();
            if (reply->isFinished()) {
                break;
            }
            co_await waitForData(reply.get());
        }
        const auto parsed = json::parse(body);
        if (parsed && parsed->isObject() && parsed->toObject().value("error"_L1).isString() &&
            !parsed->toObject().value("error"_L1).toString().isEmpty()) {
            co_return APIError::http(code, parsed->toObject().value("error"_L1).toString());
        }
        co_return APIError::http(code, failureText);
    }

    for (;;) {
        co_await waitForData(reply.get());
        if (!reply || (cancel && cancel->isCancelled())) {
            co_return sessionError(reply.get(), cancel);
        }
        const QByteArray chunk = reply->isOpen() ? reply->readAll() : QByteArray();
        if (!chunk.isEmpty()) {
            if (!co_await onChunk(chunk)) {
                co_return std::nullopt;
            }
            continue;
        }
        if (reply->isFinished()) {
            break;
        }
    }
    if (isTransportFailure(*reply)) {
        co_return sessionError(reply.get(), cancel);
    }
    co_return std::nullopt;
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

    sse::ChatStreamHandler handler(std::move(onStatus));
    sse::Framer framer;
    const auto onChunk = [&](QByteArray chunk) -> QCoro::Task<bool> {
        if (!framer.feed(chunk, [&](const QByteArray& block) { return handler.handle(block); })) {
            handler.fail(APIError::decoding(u"stream block too large"_s));
        }
        co_return !handler.failure();
    };
    if (auto failure = co_await pumpStream(std::move(request), std::move(cancel),
                                           u"chat stream failed"_s, onChunk)) {
        co_return Unexpected{*failure};
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

    sse::Framer framer;
    bool tooLarge = false;
    const auto onChunk = [&](QByteArray chunk) -> QCoro::Task<bool> {
        int notifies = 0;
        tooLarge = !framer.feed(chunk, [&notifies](const QByteArray& block) {
            notifies += sse::isNotify(block) ? 1 : 0;
            return true;
        });
        // Each notify is awaited before the next one and before reading on.
        for (; notifies > 0 && !tooLarge && !(cancel && cancel->isCancelled()); --notifies) {
            if (onNotify) {
                co_await onNotify();
            }
        }
        co_return !tooLarge;
    };
    if (auto failure =
            co_await pumpStream(std::move(request), cancel, u"event stream failed"_s, onChunk)) {
        co_return Unexpected{*failure};
    }
    if (tooLarge) {
        co_return Unexpected{APIError::decoding(u"stream block too large"_s)};
    }
    co_return Done{};
}

} // namespace tolvane
