#pragma once

#include "accountrecords.h"
#include "apierror.h"
#include "chatrecords.h"
#include "httptransport.h"
#include "jsonreader.h"

#include <QHash>
#include <QPointer>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

namespace tolvane {

class AppSettings;

// The finished reply of one chat turn.
struct ChatReply {
    QString reply;
    std::optional<TurnDebug> debug;
    QList<ChatImage> images;

    static ChatReply read(JsonReader& reader);
};

// Where the coach service lives. Fixed at build time; the command-line tool and
// the tests point a client elsewhere.
struct ServiceEndpoints {
    QString serviceRoot;
    QString contactUrl;

    static ServiceEndpoints builtIn();
    // A root of its own with the contact endpoint below it.
    static ServiceEndpoints forRoot(const QString& root);
};

// The application's only way to the coach service: a small value made from the
// shared settings whenever it is needed. Every operation copies what it needs
// before its first suspension, so a temporary client may be awaited safely.
class APIClient {
public:
    explicit APIClient(AppSettings& settings,
                       ServiceEndpoints endpoints = ServiceEndpoints::builtIn());

    // The root with spaces and tabs trimmed and trailing slashes removed; none
    // when it does not parse.
    std::optional<QUrl> baseURL() const;
    static std::optional<QUrl> baseURL(const QString& serviceRoot);
    // `path` appended below the base; its slashes separate segments.
    static QUrl appending(const QUrl& base, const QString& path);
    // Each segment appended as exactly one segment, whatever it holds, so a
    // draft token with "/", "?" or "#" cannot change the request's path.
    static QUrl appendingSegments(const QUrl& base, const QStringList& segments);

    QCoro::Task<APIResult<Overview>> overview() const;
    QCoro::Task<APIResult<QList<InAppNotification>>> notifications() const;
    QCoro::Task<APIResult<ProfileIdentity>> profile(QString platform) const;
    QCoro::Task<APIResult<bool>> debugStatus() const;
    QCoro::Task<APIResult<D>> draft(QString token) const;
    std::optional<QUrl> draftPreviewURL(const QString& token) const;
    // `when` is empty (post now) or a UTC ISO 8601 time without fraction.
    QCoro::Task<APIResult<ScheduleResult>> schedule(QString token, QString text,
                                                    QString when) const;
    QCoro::Task<APIResult<Done>> contactSupport(QString email, QString message) const;
    QCoro::Task<APIResult<QList<LLMCall>>> llmCalls(bool mineOnly, int limit) const;
    QCoro::Task<APIResult<LLMCallDetail>> llmCall(qint64 id) const;
    QCoro::Task<APIResult<Done>> clearLLMCalls() const;

    // Posts one chat message and reads the reply stream; `onStatus` receives
    // each status line as soon as its block is complete.
    QCoro::Task<APIResult<ChatReply>> chatStream(QString text, std::optional<QString> imageB64,
                                                 std::optional<QString> imageMime,
                                                 std::function<void(const QString&)> onStatus,
                                                 CancelHandle cancel = {}) const;

    // Listens for notify events until the service closes the stream; each
    // notify is awaited before reading on. Never reconnects by itself.
    QCoro::Task<APIResult<Done>> events(std::function<QCoro::Task<void>()> onNotify,
                                        CancelHandle cancel = {}) const;

    // Uploads an exported video as a multipart body read from the file while
    // it is sent: no copy on disk, memory bounded whatever the file's size.
    QCoro::Task<APIResult<qint64>> uploadVideo(QString filePath, double duration, QString title,
                                               std::function<void(double)> progress,
                                               CancelHandle cancel = {}) const;

    // A failing status becomes `http` with the service's "error" text, the
    // body, or nothing when the body is not UTF-8.
    static std::optional<APIError> validate(const HttpResponse& response);

    // Reads the JSON value under `get`'s rules: 30 s, bearer, query items.
    template <typename T>
    QCoro::Task<APIResult<T>> get(QString path, QHash<QString, QString> query = {}) const;

    const ServiceEndpoints& endpoints() const { return m_endpoints; }

private:
    QString bearer() const;
    QCoro::Task<APIResult<QByteArray>> getBytes(QString path, QHash<QString, QString> query) const;

    QPointer<AppSettings> m_settings;
    ServiceEndpoints m_endpoints;
};

namespace detail {
// The reply body of a successful request, or the error of a failed one.
APIResult<QByteArray> checkedBody(const HttpResponse& response);
// Sends the request and gives the body of a 2xx reply, or the failure.
QCoro::Task<APIResult<QByteArray>> fetch(HttpRequest request);

// A record decoded from a checked body; a mismatch becomes `decoding`.
template <typename T>
APIResult<T> asDecoded(Expected<T, QString> decoded) {
    if (!decoded) {
        return Unexpected{APIError::decoding(decoded.error())};
    }
    return std::move(decoded).value();
}
QString currentTimeZoneId();
} // namespace detail

template <typename T>
QCoro::Task<APIResult<T>> APIClient::get(QString path, QHash<QString, QString> query) const {
    auto bytes = co_await getBytes(std::move(path), std::move(query));
    if (!bytes) {
        co_return Unexpected{bytes.error()};
    }
    co_return detail::asDecoded(json::decode<T>(*bytes));
}

} // namespace tolvane
