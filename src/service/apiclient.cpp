#include "apiclient.h"

#include "appsettings.h"
#include "buildconfig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

constexpr std::chrono::seconds shortTimeout{30};

QByteArray compactJson(const QHash<QString, QString>& fields) {
    QJsonObject object;
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
        object.insert(it.key(), it.value());
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QNetworkRequest jsonRequest(const QUrl& url) {
    QNetworkRequest request = makeRequest(url);
    request.setRawHeader("Content-Type", "application/json");
    return request;
}

} // namespace

ChatReply ChatReply::read(JsonReader& reader) {
    ChatReply reply;
    reply.reply = reader.string("reply"_L1);
    reply.debug = reader.optionalObject<TurnDebug>("debug"_L1);
    reply.images = reader.optionalList<ChatImage>("images"_L1).value_or(QList<ChatImage>());
    return reply;
}

ServiceEndpoints ServiceEndpoints::builtIn() {
    return {QString::fromUtf8(build::serviceRoot), QString::fromUtf8(build::contactUrl)};
}

ServiceEndpoints ServiceEndpoints::forRoot(const QString& root) {
    QString contact = root.trimmed();
    while (contact.endsWith(u'/')) {
        contact.chop(1);
    }
    return {root, contact + u"/api/contact"_s};
}

APIClient::APIClient(AppSettings& settings, ServiceEndpoints endpoints)
    : m_settings(&settings)
    , m_endpoints(std::move(endpoints)) {}

std::optional<QUrl> APIClient::baseURL() const {
    return baseURL(m_endpoints.serviceRoot);
}

std::optional<QUrl> APIClient::baseURL(const QString& serviceRoot) {
    // Spaces and tabs only: a newline inside the root is a fault to report.
    qsizetype begin = 0;
    qsizetype end = serviceRoot.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(serviceRoot[begin])) {
        ++begin;
    }
    while (end > begin && blank(serviceRoot[end - 1])) {
        --end;
    }
    QString text = serviceRoot.mid(begin, end - begin);
    while (text.endsWith(u'/')) {
        text.chop(1);
    }
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid() || url.scheme().isEmpty() || url.host().isEmpty()) {
        return std::nullopt;
    }
    return url;
}

QUrl APIClient::appending(const QUrl& base, const QString& path) {
    return appendingSegments(base, path.split(u'/'));
}

QUrl APIClient::appendingSegments(const QUrl& base, const QStringList& segments) {
    QUrl url = base;
    QString joined = url.path(QUrl::FullyEncoded);
    if (!joined.endsWith(u'/')) {
        joined += u'/';
    }
    QStringList encoded;
    encoded.reserve(segments.size());
    for (const QString& segment : segments) {
        encoded.append(QString::fromLatin1(QUrl::toPercentEncoding(segment)));
    }
    url.setPath(joined + encoded.join(u'/'), QUrl::StrictMode);
    return url;
}

QString APIClient::bearer() const {
    return m_settings ? u"Bearer "_s + m_settings->userID() : u"Bearer "_s;
}

std::optional<APIError> APIClient::validate(const HttpResponse& response) {
    if (response.status == 0 || (response.status >= 200 && response.status <= 299)) {
        return std::nullopt;
    }
    QString message;
    const auto parsed = json::parse(response.body);
    if (parsed && parsed->isObject() && parsed->toObject().value("error"_L1).isString()) {
        message = parsed->toObject().value("error"_L1).toString();
    } else {
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString text = decoder.decode(response.body);
        message = decoder.hasError() ? QString() : text;
    }
    return APIError::http(response.status, message);
}

namespace detail {

APIResult<QByteArray> checkedBody(const HttpResponse& response) {
    if (response.failed()) {
        return Unexpected{response.cancelled ? APIError::session(response.transportError, true)
                                             : APIError::transport(response.transportError)};
    }
    if (auto error = APIClient::validate(response)) {
        return Unexpected{*error};
    }
    return response.body;
}

QCoro::Task<APIResult<QByteArray>> fetch(HttpRequest request) {
    const HttpResponse response = co_await send(std::move(request));
    co_return checkedBody(response);
}

QString currentTimeZoneId() {
    return QString::fromUtf8(QTimeZone::systemTimeZoneId());
}

} // namespace detail

QCoro::Task<APIResult<QByteArray>> APIClient::getBytes(QString path,
                                                       QHash<QString, QString> query) const {
    const auto base = baseURL();
    if (!base) {
        co_return Unexpected{APIError::badURL()};
    }
    QUrl url = appending(*base, path);
    if (!query.isEmpty()) {
        QStringList items;
        for (auto it = query.constBegin(); it != query.constEnd(); ++it) {
            items.append(QString::fromLatin1(QUrl::toPercentEncoding(it.key()) + '=' +
                                             QUrl::toPercentEncoding(it.value())));
        }
        url.setQuery(items.join(u'&'), QUrl::StrictMode);
    }
    if (!url.isValid()) {
        co_return Unexpected{APIError::badURL()};
    }
    HttpRequest request;
    request.request = makeRequest(url);
    request.request.setRawHeader("Authorization", bearer().toUtf8());
    request.timeout = shortTimeout;
    // Two statements: g++ 12 miscompiles co_return of a co_await on a
    // non-trivial value.
    auto body = co_await detail::fetch(std::move(request));
    co_return body;
}

QCoro::Task<APIResult<Overview>> APIClient::overview() const {
    return get<Overview>(u"api/overview"_s);
}

QCoro::Task<APIResult<QList<InAppNotification>>> APIClient::notifications() const {
    auto wrapper = co_await get<NotificationWrapper>(u"api/notifications"_s);
    if (!wrapper) {
        co_return Unexpected{wrapper.error()};
    }
    co_return wrapper->notifications.value_or(QList<InAppNotification>());
}

QCoro::Task<APIResult<ProfileIdentity>> APIClient::profile(QString platform) const {
    return get<ProfileIdentity>(u"api/profile"_s, {{u"platform"_s, platform}});
}

QCoro::Task<APIResult<bool>> APIClient::debugStatus() const {
    auto status = co_await get<DebugStatus>(u"api/debug/status"_s);
    if (!status) {
        co_return Unexpected{status.error()};
    }
    co_return status->debug;
}

QCoro::Task<APIResult<D>> APIClient::draft(QString token) const {
    const auto base = baseURL();
    if (!base) {
        co_return Unexpected{APIError::badURL()};
    }
    HttpRequest request;
    request.request = makeRequest(appendingSegments(*base, {u"api"_s, u"draft"_s, token}));
    request.timeout = shortTimeout;
    auto body = co_await detail::fetch(std::move(request));
    if (!body) {
        co_return Unexpected{body.error()};
    }
    // A reply that is not a draft still opens the canvas with the defaults.
    auto decoded = json::decode<D>(*body);
    co_return decoded ? *decoded : D{};
}

std::optional<QUrl> APIClient::draftPreviewURL(const QString& token) const {
    const auto base = baseURL();
    if (!base) {
        return std::nullopt;
    }
    return appendingSegments(*base, {u"api"_s, u"draft"_s, token, u"preview.png"_s});
}

QCoro::Task<APIResult<ScheduleResult>> APIClient::schedule(QString token, QString text,
                                                           QString when) const {
    const auto base = baseURL();
    if (!base) {
        co_return Unexpected{APIError::badURL()};
    }
    HttpRequest request;
    request.request = jsonRequest(appendingSegments(*base, {u"api"_s, u"schedule"_s, token}));
    request.method = "POST";
    request.body = compactJson(
        {{u"text"_s, text}, {u"when"_s, when}, {u"time_zone"_s, detail::currentTimeZoneId()}});
    request.timeout = std::chrono::seconds(60);
    const HttpResponse response = co_await send(std::move(request));
    if (response.failed()) {
        co_return Unexpected{response.cancelled ? APIError::session(response.transportError, true)
                                                : APIError::transport(response.transportError)};
    }
    co_return ScheduleResult::fromReply(response.status, response.body);
}

QCoro::Task<APIResult<Done>> APIClient::contactSupport(QString email, QString message) const {
    const QUrl url(m_endpoints.contactUrl, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty()) {
        co_return Unexpected{APIError::badURL()};
    }
    const QString userID = m_settings ? m_settings->userID() : QString();
    HttpRequest request;
    request.request = jsonRequest(url);
    request.method = "POST";
    // The service files app messages under this page label, whatever the OS.
    request.body = compactJson({{u"email"_s, email},
                                {u"message"_s, message},
                                {u"page"_s, u"macOS app (user "_s + userID + u")"_s}});
    request.timeout = shortTimeout;
    auto body = co_await detail::fetch(std::move(request));
    if (!body) {
        co_return Unexpected{body.error()};
    }
    co_return Done{};
}

QCoro::Task<APIResult<QList<LLMCall>>> APIClient::llmCalls(bool mineOnly, int limit) const {
    const auto base = baseURL();
    if (!base) {
        co_return Unexpected{APIError::badURL()};
    }
    QUrl url = appending(*base, u"api/debug/llm"_s);
    url.setQuery(u"limit="_s + QString::number(limit));
    HttpRequest request;
    request.request = makeRequest(url);
    if (mineOnly) {
        request.request.setRawHeader("Authorization", bearer().toUtf8());
    }
    request.timeout = shortTimeout;
    auto body = co_await detail::fetch(std::move(request));
    if (!body) {
        co_return Unexpected{body.error()};
    }
    co_return detail::asDecoded(json::decodeList<LLMCall>(*body));
}

QCoro::Task<APIResult<LLMCallDetail>> APIClient::llmCall(qint64 id) const {
    const auto base = baseURL();
    if (!base) {
        co_return Unexpected{APIError::badURL()};
    }
    HttpRequest request;
    request.request = makeRequest(appending(*base, u"api/debug/llm/"_s + QString::number(id)));
    request.timeout = shortTimeout;
    auto body = co_await detail::fetch(std::move(request));
    if (!body) {
        co_return Unexpected{body.error()};
    }
    co_return detail::asDecoded(json::decode<LLMCallDetail>(*body));
}

QCoro::Task<APIResult<Done>> APIClient::clearLLMCalls() const {
    const auto base = baseURL();
    if (!base) {
        co_return Unexpected{APIError::badURL()};
    }
    HttpRequest request;
    request.request = makeRequest(appending(*base, u"api/debug/llm"_s));
    request.method = "DELETE";
    request.timeout = shortTimeout;
    auto body = co_await detail::fetch(std::move(request));
    if (!body) {
        co_return Unexpected{body.error()};
    }
    co_return Done{};
}

} // namespace tolvane
