#include "coachservice.h"

#include "common/iso8601.h"
#include "editpage.h"
#include "httpresponder.h"
#include "multipartparser.h"
#include "previewrenderer.h"
#include "textcut.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSet>
#include <QUuid>

#include <buildconfig.h>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

Q_LOGGING_CATEGORY(lcService, "tolvane.coach.service", QtInfoMsg)

namespace {

constexpr int maxPostLength = 3000; // LinkedIn's limit for a post
constexpr int maxChatText = 20'000;
constexpr int defaultLLMLimit = 50;
constexpr int maxLLMLimit = 500;
// A chosen time this little in the past is treated as "now": the picker only
// offers future times, so it can only be the seconds the user took to click.
constexpr qint64 lateGraceSecs = 300;

std::optional<QJsonObject> jsonObject(const HttpRequest& request) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(request.body().toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return std::nullopt;
    }
    return doc.object();
}

// A user id the app could have sent: printable ASCII, no spaces, bounded.
bool plausibleUid(const QString& uid) {
    if (uid.isEmpty() || uid.size() > 128) {
        return false;
    }
    for (QChar c : uid) {
        if (c.unicode() <= 32 || c.unicode() >= 127) {
            return false;
        }
    }
    return true;
}

// The same rule the app's support form applies.
bool validEmail(const QString& raw) {
    const QString email = raw.trimmed();
    if (email.contains(QLatin1Char(' '))) {
        return false;
    }
    const qsizetype at = email.indexOf(QLatin1Char('@'));
    if (at <= 0) {
        return false;
    }
    const QString domain = email.mid(at + 1);
    if (domain.isEmpty()) {
        return false;
    }
    const qsizetype dot = domain.indexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == domain.size() - 1) {
        return false;
    }
    return !domain.contains(QLatin1Char('@'));
}

QByteArray sse(const char* event, const QJsonObject& data) {
    return QByteArray("event: ") + event +
           "\ndata: " + QJsonDocument(data).toJson(QJsonDocument::Compact) + "\n\n";
}

// A rough token count for the usage record: the rule engine has no tokenizer,
// so it uses the common estimate of four characters per token.
qint64 estimateTokens(const QString& text) {
    return (text.size() + 3) / 4;
}

} // namespace

CoachService::CoachService(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_engine(m_store) {}

CoachService::~CoachService() = default;

quint16 CoachService::port() const {
    return m_server ? m_server->port() : 0;
}

bool CoachService::start() {
    if (!m_options.address.isLoopback()) {
        m_error = u"the coach listens on loopback addresses only, not %1"_s.arg(
            m_options.address.toString());
        return false;
    }
    if (m_options.databasePath != ":memory:"_L1) {
        QDir().mkpath(QFileInfo(m_options.databasePath).absolutePath());
    }
    if (!m_store.open(m_options.databasePath)) {
        m_error =
            u"cannot open the store %1: %2"_s.arg(m_options.databasePath, m_store.errorString());
        return false;
    }
    // The fallback folder may be shared by coaches with other stores.
    const bool shared = m_options.videoDir.isEmpty();
    if (shared) {
        m_options.videoDir = QDir::temp().filePath(u"tolvane-coach-videos"_s);
    }
    QDir().mkpath(m_options.videoDir);

    m_server = std::make_unique<HttpServer>(
        [this](HttpRequest& request, HttpResponder* responder) { handle(request, responder); });
    m_server->limits.spoolDir = m_options.videoDir;
    if (!m_server->listen(m_options.address, m_options.port)) {
        m_error = u"cannot listen on %1:%2: %3"_s.arg(m_options.address.toString())
                      .arg(m_options.port)
                      .arg(m_server->errorString());
        return false;
    }
    const QString host = m_options.address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u"[%1]"_s.arg(m_options.address.toString())
                             : m_options.address.toString();
    // Only a coach that got its address cleans up: another may be running.
    sweepVideoDir(shared);
    m_root = u"http://%1:%2/"_s.arg(host).arg(m_server->port());
    m_events = std::make_unique<EventHub>(m_options.keepAliveMs);
    m_publisher = std::make_unique<Publisher>(m_store, m_root, m_options.publishIntervalMs);
    connect(m_publisher.get(), &Publisher::notificationAdded, m_events.get(), &EventHub::notify);
    qCInfo(lcService) << "coach listening on" << m_root << "store" << m_options.databasePath;
    return true;
}

void CoachService::handle(HttpRequest& request, HttpResponder* responder) {
    QElapsedTimer timer;
    timer.start();
    // A failure of the publisher's timer is not this request's.
    m_store.takeWriteError();
    route(request, responder);
    qCDebug(lcService) << request.method << request.path << timer.elapsed() << "ms";
    if (!responder->hasResponded()) {
        responder->respondError(500, u"no response"_s);
    }
}

void CoachService::sweepVideoDir(bool shared) {
    // Left by a coach that was killed mid-upload: partly written videos and
    // spooled request bodies. In a folder of this store's own, videos no
    // record names are orphans of the same kind.
    QDir dir(m_options.videoDir);
    const QDateTime hourAgo = QDateTime::currentDateTimeUtc().addSecs(-3600);
    int removed = 0;
    for (const QFileInfo& info :
         dir.entryInfoList({u"*.mp4.part"_s, u"tolvane-coach-body-*"_s}, QDir::Files)) {
        // Another coach on the shared folder may be writing it right now.
        if ((!shared || info.lastModified().toUTC() < hourAgo) && QFile::remove(info.filePath())) {
            ++removed;
        }
    }
    const auto known = shared ? std::nullopt : m_store.videoPaths();
    if (known) {
        QSet<QString> names;
        for (const QString& path : *known) {
            names.insert(QFileInfo(path).fileName());
        }
        for (const QFileInfo& info : dir.entryInfoList({u"*.mp4"_s}, QDir::Files)) {
            if (!names.contains(info.fileName()) && QFile::remove(info.filePath())) {
                ++removed;
            }
        }
    }
    if (removed > 0) {
        qCInfo(lcService) << "removed" << removed << "unfinished or orphaned uploads from"
                          << m_options.videoDir;
    }
}

bool CoachService::failedToStore(HttpResponder* r) {
    const QString error = m_store.takeWriteError();
    if (error.isEmpty()) {
        return false;
    }
    // Nothing may be promised (an edit link, an id, "scheduled") that is not
    // in the store.
    r->respondError(507, u"The coach could not store this: %1"_s.arg(error));
    return true;
}

namespace {

// A path pattern: "{}" stands for one non-empty segment, "*" for any segment
// (empty included); a pattern without either must equal the path. Returns the
// segments the placeholders stood for, or nothing when the path does not match.
std::optional<QStringList> matchPath(QLatin1String pattern, const QString& path,
                                     const QStringList& parts) {
    if (!pattern.contains("{}"_L1) && !pattern.contains(QLatin1Char('*'))) {
        if (path != pattern) {
            return std::nullopt;
        }
        return QStringList();
    }
    const QStringList want = QString(pattern).mid(1).split(QLatin1Char('/'));
    if (want.size() != parts.size()) {
        return std::nullopt;
    }
    QStringList captured;
    for (qsizetype i = 0; i < want.size(); ++i) {
        if (want[i] == "*"_L1 || (want[i] == "{}"_L1 && !parts[i].isEmpty())) {
            captured.append(parts[i]);
        } else if (want[i] != parts[i]) {
            return std::nullopt;
        }
    }
    return captured;
}

} // namespace

void CoachService::route(HttpRequest& request, HttpResponder* r) {
    using Handler = void (*)(CoachService&, HttpRequest&, HttpResponder*, const QStringList&);
    struct Route {
        QByteArray method; // empty: every method
        QLatin1String pattern;
        Handler handler;
    };
    // Several routes for one path answer its methods; the others get 405 with
    // the routes' methods, in this order, as "Allow".
    static const Route routes[] = {
        {"GET", "/health"_L1, &CoachService::health},
        {"GET", "/"_L1, &CoachService::health},
        {"POST", "/session"_L1,
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.session(q, a);
         }},
        {"GET", "/api/overview"_L1,
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.overview(q, a);
         }},
        {"GET", "/api/notifications"_L1,
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.notifications(q, a);
         }},
        {"GET", "/api/profile"_L1,
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.profile(q, a);
         }},
        {"GET", "/api/debug/status"_L1, &CoachService::debugStatus},
        {"GET", "/api/draft/{}"_L1,
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList& p) {
             s.draft(q, a, p[0]);
         }},
        {"PUT", "/api/draft/{}"_L1,
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList& p) {
             s.draftUpdate(q, a, p[0]);
         }},
        {"POST", "/api/draft/{}"_L1,
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList& p) {
             s.draftUpdate(q, a, p[0]);
         }},
        {"GET", "/api/draft/*/preview.png"_L1,
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList& p) {
             s.preview(q, a, p[0]);
         }},
        {"POST", "/api/schedule/{}"_L1,
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList& p) {
             s.schedule(q, a, p[0]);
         }},
        {"GET", "/api/debug/llm"_L1,
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.llmCalls(q, a);
         }},
        {"DELETE", "/api/debug/llm"_L1, &CoachService::llmCallsDelete},
        {"GET", "/api/debug/llm/*"_L1,
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList& p) {
             s.llmCall(q, a, p[0]);
         }},
        {"POST", "/inapp/stream"_L1,
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.chat(q, a);
         }},
        {"GET", "/inapp/events"_L1,
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.events(q, a);
         }},
        {"POST", "/inapp/video"_L1,
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.upload(q, a);
         }},
        {"POST", "/api/contact"_L1,
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.contact(q, a);
         }},
        {"GET", "/download/version.json"_L1, &CoachService::versionInfo},
        {{}, "/download/"_L1, &CoachService::downloadPage},
        {{}, "/download"_L1, &CoachService::downloadPage},
        {"GET", "/edit/{}"_L1,
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList& p) {
             s.editPage(q, a, p[0]);
         }},
    };

    const QStringList parts = request.pathParts();
    QByteArrayList allowed;
    for (const Route& route : routes) {
        const auto captured = matchPath(route.pattern, request.path, parts);
        if (!captured) {
            continue;
        }
        if (route.method.isEmpty() || route.method == request.method) {
            return route.handler(*this, request, r, *captured);
        }
        if (!allowed.contains(route.method)) {
            allowed.append(route.method);
        }
    }
    if (!allowed.isEmpty()) {
        r->respond(405, "application/json", R"({"error":"method not allowed"})",
                   {{"Allow", allowed.join(", ")}});
        return;
    }
    r->respondError(404, u"not found: %1"_s.arg(textcut::prefix(request.path, 200)));
}

void CoachService::health(CoachService&, HttpRequest&, HttpResponder* r, const QStringList&) {
    r->respondJson(200, QJsonObject{{u"service"_s, u"tolvane-coach"_s},
                                    {u"protocol"_s, protocolVersion},
                                    {u"version"_s, QString::fromLatin1(build::version)},
                                    {u"pid"_s, QCoreApplication::applicationPid()}});
}

void CoachService::debugStatus(CoachService& s, HttpRequest& request, HttpResponder* r,
                               const QStringList&) {
    if (!s.bearerUser(request, r)) {
        return;
    }
    // The log holds only this machine's own calls, so it is always open.
    r->respondJson(200, QJsonObject{{u"debug"_s, true}});
}

void CoachService::llmCallsDelete(CoachService& s, HttpRequest& request, HttpResponder* r,
                                  const QStringList&) {
    // With a bearer only that user's calls go; without one, the whole log.
    std::optional<qint64> only;
    if (const QString uid = request.bearer(); !uid.isEmpty()) {
        const auto u = s.m_store.findUser(uid);
        if (!u) {
            return r->respondJson(200, QJsonObject{{u"deleted"_s, 0}});
        }
        only = u->id;
    }
    const qint64 n = s.m_store.clearLLMCalls(only);
    if (s.failedToStore(r)) {
        return;
    }
    r->respondJson(200, QJsonObject{{u"deleted"_s, n}});
}

void CoachService::versionInfo(CoachService& s, HttpRequest&, HttpResponder* r,
                               const QStringList&) {
    r->respondJson(200,
                   QJsonObject{{u"version"_s, QString::fromLatin1(build::version)},
                               {u"url"_s, s.m_root + u"download/"_s},
                               {u"notes"_s, u"The local coach always matches the app it was built "
                                            "with."_s}});
}

void CoachService::downloadPage(CoachService&, HttpRequest&, HttpResponder* r, const QStringList&) {
    r->respond(200, "text/html; charset=utf-8",
               QByteArray("<!doctype html><meta charset=\"utf-8\"><title>Tolvane"
                          "</title><p>Tolvane ") +
                   build::version +
                   " is the current build. Updates come with the source tree.</p>");
}

std::optional<User> CoachService::bearerUser(const HttpRequest& request, HttpResponder* r) {
    const QString uid = request.bearer();
    if (uid.isEmpty()) {
        r->respondError(401, u"missing bearer token"_s);
        return std::nullopt;
    }
    if (!plausibleUid(uid)) {
        r->respondError(401, u"malformed bearer token"_s);
        return std::nullopt;
    }
    return m_store.user(uid);
}

QString CoachService::headline(qint64 userID) {
    QString line = m_store.memory(userID, u"role"_s);
    if (line.isEmpty()) {
        return line;
    }
    line[0] = line[0].toUpper();
    const QString company = m_store.memory(userID, u"company"_s);
    if (!company.isEmpty()) {
        line += u" at "_s + company;
    }
    return line;
}

void CoachService::session(HttpRequest& request, HttpResponder* r) {
    // The app registers with an empty request, so the coach hands out the id.
    // A caller that names its id (bearer or body) gets it confirmed instead.
    QString uid = request.bearer();
    if (uid.isEmpty()) {
        if (const auto body = jsonObject(request)) {
            uid = body->value(u"user_id"_s).toString();
        }
    }
    // App user ids carry the "mac-" prefix on every platform.
    if (uid.isEmpty()) {
        uid = u"mac-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
    }
    if (!plausibleUid(uid)) {
        return r->respondError(400, u"malformed user id"_s);
    }
    m_store.user(uid);
    if (failedToStore(r)) {
        return;
    }
    r->respondJson(200, QJsonObject{{u"user_id"_s, uid}});
}

void CoachService::overview(HttpRequest& request, HttpResponder* r) {
    const auto user = bearerUser(request, r);
    if (!user) {
        return;
    }
    const Overview o = m_store.overview(user->id);
    r->respondJson(200, QJsonObject{
                            {u"drafts_count"_s, o.drafts},
                            {u"scheduled_pending"_s, o.scheduledPending},
                            {u"published_count"_s, o.published},
                            {u"total_impressions"_s, o.impressions},
                            {u"total_likes"_s, o.likes},
                            // Posts go to the coach's own store; no network is connected.
                            {u"connected_platforms"_s, QJsonArray()},
                        });
}

void CoachService::notifications(HttpRequest& request, HttpResponder* r) {
    const auto user = bearerUser(request, r);
    if (!user) {
        return;
    }
    QJsonArray list;
    for (const Notification& n : m_store.takeNotifications(user->id)) {
        QJsonObject o{{u"text"_s, n.text},
                      {u"created_at"_s, iso8601::formatWithMilliseconds(n.createdAt)}};
        if (!n.imageB64.isEmpty()) {
            o.insert(u"image_b64"_s, n.imageB64);
        }
        list.append(o);
    }
    r->respondJson(200, QJsonObject{{u"notifications"_s, list}});
}

void CoachService::profile(HttpRequest& request, HttpResponder* r) {
    const auto user = bearerUser(request, r);
    if (!user) {
        return;
    }
    const QString platform = request.query.queryItemValue(u"platform"_s, QUrl::FullyDecoded);
    if (!platform.isEmpty() && platform.toLower() != "linkedin"_L1) {
        return r->respondError(404, u"no %1 profile is connected"_s.arg(platform));
    }
    // An unknown name stays empty so the app falls back to its own setting.
    r->respondJson(200, QJsonObject{
                            {u"name"_s, m_store.memory(user->id, u"name"_s)},
                            {u"headline"_s, headline(user->id)},
                            {u"handle"_s, QString()},
                        });
}

void CoachService::draft(HttpRequest&, HttpResponder* r, const QString& token) {
    const auto d = m_store.draft(token);
    if (!d) {
        return r->respondError(404, u"draft not found"_s);
    }
    QJsonObject o{{u"text"_s, d->text},
                  {u"platform"_s, d->platform},
                  {u"status"_s, d->status},
                  {u"style"_s, d->style}};
    if (d->scheduledAt.isValid()) {
        o.insert(u"scheduled_at"_s, iso8601::formatWithMilliseconds(d->scheduledAt));
    }
    if (d->publishedAt.isValid()) {
        o.insert(u"published_at"_s, iso8601::formatWithMilliseconds(d->publishedAt));
    }
    r->respondJson(200, o);
}

void CoachService::draftUpdate(HttpRequest& request, HttpResponder* r, const QString& token) {
    const auto body = jsonObject(request);
    if (!body || !body->value(u"text"_s).isString()) {
        return r->respondError(400, u"expected a JSON object with a \"text\" string"_s);
    }
    const QString text = body->value(u"text"_s).toString();
    if (text.size() > maxPostLength) {
        return r->respondError(400, u"posts are limited to %1 characters (this one "
                                    "has %2)"_s.arg(maxPostLength)
                                        .arg(text.size()));
    }
    const auto d = m_store.draft(token);
    if (!d) {
        return r->respondError(404, u"draft not found"_s);
    }
    if (d->status == "published"_L1) {
        return r->respondError(409, u"this post is already published"_s);
    }
    m_store.updateDraft(token, text, {});
    if (failedToStore(r)) {
        return;
    }
    r->respondJson(
        200,
        QJsonObject{{u"text"_s, text}, {u"platform"_s, d->platform}, {u"status"_s, d->status}});
}

void CoachService::preview(HttpRequest&, HttpResponder* r, const QString& token) {
    const auto d = m_store.draft(token);
    if (!d) {
        return r->respondError(404, u"draft not found"_s);
    }
    PreviewRenderer::Card card;
    card.name = m_store.memory(d->userID, u"name"_s);
    card.headline = headline(d->userID);
    card.text = d->text;
    card.status = d->status;
    const QString key =
        QStringList{token, card.text, card.name, card.headline, card.status}.join(QChar(0x1f));
    if (!m_previews.contains(key)) {
        m_previews.insert(key, new QByteArray(PreviewRenderer::renderCard(card)));
    }
    r->respond(200, "image/png", *m_previews.object(key), {{"Cache-Control", "no-cache"}});
}

void CoachService::schedule(HttpRequest& request, HttpResponder* r, const QString& token) {
    const auto body = jsonObject(request);
    if (!body) {
        return r->respondError(400, u"expected a JSON object"_s);
    }
    const QJsonValue textValue = body->value(u"text"_s);
    const QJsonValue whenValue = body->value(u"when"_s);
    if (!textValue.isString()) {
        return r->respondError(400, u"\"text\" must be a string"_s);
    }
    if (!whenValue.isString() && !whenValue.isUndefined() && !whenValue.isNull()) {
        return r->respondError(400, u"\"when\" must be a string"_s);
    }
    const QString text = textValue.toString();
    if (text.trimmed().isEmpty()) {
        return r->respondError(400, u"The post is empty."_s);
    }
    if (text.size() > maxPostLength) {
        return r->respondError(400, u"Posts are limited to %1 characters; this one "
                                    "has %2."_s.arg(maxPostLength)
                                        .arg(text.size()));
    }
    const auto d = m_store.draft(token);
    if (!d) {
        return r->respondError(404, u"Draft not found."_s);
    }
    if (d->status == "published"_L1) {
        return r->respondError(409, u"This post is already published."_s);
    }

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString whenText = whenValue.toString().trimmed();
    QDateTime at;
    if (!whenText.isEmpty()) {
        at = iso8601::parseEither(whenText).value_or(QDateTime());
        if (!at.isValid()) {
            return r->respondError(400, u"\"when\" must be an ISO 8601 date-time "
                                        "with a time zone, or empty to post now"_s);
        }
        if (at.secsTo(now) > lateGraceSecs) {
            return r->respondError(400, u"That time is in the past."_s);
        }
    }
    if (!at.isValid() || at <= now) {
        m_store.publishDraft(token, text, now);
        if (failedToStore(r)) {
            return;
        }
        return r->respondJson(200, QJsonObject{{u"at"_s, iso8601::formatWithMilliseconds(now)},
                                               {u"mode"_s, u"published"_s}});
    }
    m_store.scheduleDraft(token, text, at);
    if (failedToStore(r)) {
        return;
    }
    r->respondJson(200, QJsonObject{{u"at"_s, iso8601::formatWithMilliseconds(at)},
                                    {u"mode"_s, u"scheduled"_s}});
}

void CoachService::llmCalls(HttpRequest& request, HttpResponder* r) {
    int limit = defaultLLMLimit;
    if (request.query.hasQueryItem(u"limit"_s)) {
        bool ok = false;
        limit = request.query.queryItemValue(u"limit"_s).toInt(&ok);
        if (!ok || limit < 1) {
            return r->respondError(400, u"limit must be a positive integer"_s);
        }
        limit = std::min(limit, maxLLMLimit);
    }
    std::optional<qint64> only;
    if (const QString uid = request.bearer(); !uid.isEmpty()) {
        const auto u = m_store.findUser(uid);
        if (!u) {
            return r->respondJson(200, QJsonArray());
        }
        only = u->id;
    }
    QJsonArray list;
    for (const LLMCall& c : m_store.llmCalls(limit, only)) {
        list.append(QJsonObject{
            {u"id"_s, c.id},
            {u"created_at"_s, iso8601::formatWithMilliseconds(c.createdAt)},
            {u"user_id"_s, c.userID},
            {u"intent"_s, c.intent},
            {u"label"_s, c.label},
            {u"provider"_s, c.provider},
            {u"model"_s, c.model},
            {u"latency_ms"_s, c.latencyMs},
            {u"stop_reason"_s, c.stopReason},
            {u"error"_s, c.error},
            {u"input_tokens"_s, c.inputTokens},
            {u"output_tokens"_s, c.outputTokens},
            {u"cache_read_tokens"_s, c.cacheReadTokens},
            {u"reasoning_tokens"_s, c.reasoningTokens},
        });
    }
    r->respondJson(200, list);
}

void CoachService::llmCall(HttpRequest&, HttpResponder* r, const QString& idText) {
    bool ok = false;
    const qint64 id = idText.toLongLong(&ok);
    if (!ok) {
        return r->respondError(400, u"call id must be an integer"_s);
    }
    const auto c = m_store.llmCall(id);
    if (!c) {
        return r->respondError(404, u"no AI call %1"_s.arg(id));
    }
    QJsonObject o{
        {u"id"_s, c->id},
        {u"created_at"_s, iso8601::formatWithMilliseconds(c->createdAt)},
        {u"model"_s, c->model},
        {u"provider"_s, c->provider},
        {u"intent"_s, c->intent},
        {u"label"_s, c->label},
        {u"latency_ms"_s, c->latencyMs},
        {u"stop_reason"_s, c->stopReason},
        {u"error"_s, c->error},
    };
    if (!c->request.isEmpty()) {
        o.insert(u"request"_s, c->request);
    }
    if (!c->response.isEmpty()) {
        o.insert(u"response"_s, c->response);
    }
    r->respondJson(200, o);
}

void CoachService::chat(HttpRequest& request, HttpResponder* r) {
    const auto body = jsonObject(request);
    if (!body) {
        return r->respondError(400, u"expected a JSON object"_s);
    }
    const QJsonValue uidValue = body->value(u"user_id"_s);
    const QJsonValue textValue = body->value(u"text"_s);
    if (!uidValue.isString() || !plausibleUid(uidValue.toString())) {
        return r->respondError(400, u"\"user_id\" must be a non-empty id"_s);
    }
    if (!textValue.isString()) {
        return r->respondError(400, u"\"text\" must be a string"_s);
    }
    if (textValue.toString().size() > maxChatText) {
        return r->respondError(413, u"Messages are limited to %L1 characters; this "
                                    "one has %L2."_s.arg(maxChatText)
                                        .arg(textValue.toString().size()));
    }
    QByteArray image;
    QString imageMime;
    if (const QJsonValue b64 = body->value(u"image_b64"_s); !b64.isUndefined()) {
        if (!b64.isString()) {
            return r->respondError(400, u"\"image_b64\" must be a string"_s);
        }
        auto decoded = QByteArray::fromBase64Encoding(b64.toString().toLatin1(),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) {
            return r->respondError(400, u"\"image_b64\" is not valid base64"_s);
        }
        image = *decoded;
        imageMime = body->value(u"image_mime"_s).toString(u"image/png"_s);
    }
    if (textValue.toString().trimmed().isEmpty() && image.isEmpty()) {
        return r->respondError(400, u"empty message"_s);
    }

    CoachEngine::Input input;
    input.user = m_store.user(uidValue.toString());
    input.text = textValue.toString();
    input.timeZone = body->value(u"time_zone"_s).toString();
    input.image = image;
    input.imageMime = imageMime;
    input.root = m_root;
    input.now = QDateTime::currentDateTimeUtc();

    // The turn runs to its end before anything is sent: a reply that could
    // not be stored (its draft, its log record) is answered with an error
    // status, never with an edit link to nothing. The status lines go out
    // just ahead of the reply, as the turn does not wait in between.
    QStringList statuses;
    QElapsedTimer timer;
    timer.start();
    const CoachEngine::Turn turn =
        m_engine.respond(input, [&statuses](const QString& status) { statuses.append(status); });
    const qint64 latency = timer.elapsed();

    LLMCall call;
    call.createdAt = input.now;
    call.userID = input.user.id;
    call.intent = turn.intent;
    call.label = turn.label;
    call.provider = CoachEngine::provider;
    call.model = CoachEngine::modelName;
    call.latencyMs = latency;
    call.stopReason = u"end_turn"_s;
    call.inputTokens = estimateTokens(CoachEngine::systemDescription() + input.text);
    call.outputTokens = estimateTokens(turn.reply);
    QJsonObject message{{u"role"_s, u"user"_s}, {u"text"_s, input.text}};
    if (!image.isEmpty()) {
        message.insert(u"image"_s,
                       QJsonObject{{u"mime"_s, imageMime}, {u"bytes"_s, qint64(image.size())}});
    }
    call.request = QJsonObject{
        {u"model"_s, CoachEngine::modelName},
        {u"system"_s, CoachEngine::systemDescription()},
        {u"tools"_s, QJsonArray::fromStringList(CoachEngine::toolNames())},
        {u"messages"_s, QJsonArray{message}},
    };
    call.response = QJsonObject{{u"stop_reason"_s, call.stopReason},
                                {u"text"_s, turn.reply},
                                {u"tool_calls"_s, turn.toolCalls}};
    // /forgetme erases the log too; its own record would bring the user's words back.
    if (turn.intent != "command"_L1 || turn.label != "/forgetme"_L1) {
        m_store.addLLMCall(call);
    }
    if (failedToStore(r)) {
        return;
    }

    r->beginStream(200, "text/event-stream", {{"X-Accel-Buffering", "no"}});
    for (const QString& status : std::as_const(statuses)) {
        r->write(sse("status", QJsonObject{{u"text"_s, status}}));
    }
    QJsonArray images;
    for (const CoachEngine::Image& img : turn.images) {
        QJsonObject o{{u"data_b64"_s, QString::fromLatin1(img.bytes.toBase64())},
                      {u"mime"_s, img.mime},
                      {u"caption"_s, img.caption}};
        if (!img.group.isEmpty()) {
            o.insert(u"group"_s, img.group);
        }
        images.append(o);
    }
    const QJsonObject debug{{u"model"_s, call.model},
                            {u"input_tokens"_s, call.inputTokens},
                            {u"output_tokens"_s, call.outputTokens},
                            {u"cache_read_tokens"_s, 0},
                            {u"cache_write_tokens"_s, 0},
                            {u"cost_usd"_s, 0.0}};
    r->write(
        sse("final",
            QJsonObject{{u"reply"_s, turn.reply}, {u"debug"_s, debug}, {u"images"_s, images}}));
    r->endStream();
}

void CoachService::events(HttpRequest& request, HttpResponder* r) {
    const auto user = bearerUser(request, r);
    if (!user) {
        return;
    }
    m_events->subscribe(user->id, r, m_store.pendingNotifications(user->id) > 0);
}

void CoachService::upload(HttpRequest& request, HttpResponder* r) {
    const QByteArray boundary = MultipartParser::boundaryOf(request.header("content-type"));
    if (boundary.isEmpty()) {
        return r->respondError(415, u"expected multipart/form-data with a boundary"_s);
    }
    const auto parts = MultipartParser::parse(request.body(), boundary);
    if (!parts) {
        return r->respondError(400, u"malformed multipart body"_s);
    }
    QString uid;
    QString title;
    double duration = 0;
    const MultipartParser::Part* video = nullptr;
    for (const auto& part : *parts) {
        if (part.name == "user_id"_L1) {
            uid = QString::fromUtf8(part.data.toByteArray()).trimmed();
        } else if (part.name == "title"_L1) {
            title = QString::fromUtf8(part.data.toByteArray());
        } else if (part.name == "duration"_L1) {
            bool ok = false;
            duration = QString::fromUtf8(part.data.toByteArray()).toDouble(&ok);
            if (!ok || duration < 0) {
                return r->respondError(400, u"\"duration\" must be seconds"_s);
            }
        } else if (part.name == "video"_L1) {
            video = &part;
        }
    }
    if (!plausibleUid(uid)) {
        return r->respondError(400, u"missing \"user_id\" field"_s);
    }
    if (!video) {
        return r->respondError(400, u"missing \"video\" file part"_s);
    }
    const QString path =
        QDir(m_options.videoDir)
            .filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) + u".mp4"_s);
    // Written under a temporary name and renamed when complete, so a kill
    // leaves a ".part" file the next start removes, never a cut-off video.
    QFile file(path + u".part"_s);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(video->data.data(), video->data.size()) != video->data.size() || !file.flush()) {
        file.remove();
        return r->respondError(507, u"could not store the video"_s);
    }
    file.close();
    if (file.error() != QFileDevice::NoError || !file.rename(path)) {
        file.remove();
        return r->respondError(507, u"could not store the video"_s);
    }
    const User user = m_store.user(uid);
    const qint64 id = m_store.addVideo(user.id, path, duration, title, video->data.size());
    if (failedToStore(r)) {
        QFile::remove(path);
        return;
    }
    qCInfo(lcService) << "stored video" << id << video->data.size() << "bytes";
    QString note = u"Got your %1-second video. "_s.arg(duration, 0, 'f', 1);
    note += duration > 90 ? u"It's on the long side: the first three seconds "
                            "decide whether people stay, so lead with the "
                            "point, and consider cutting it under 60 s."_s
                          : u"Good length for the feed. Post it with a one-line "
                            "hook that says what people will learn, and keep "
                            "the captions on: most people watch muted."_s;
    m_store.addNotification(user.id, note);
    m_events->notify(user.id);
    r->respondJson(200, QJsonObject{{u"video_id"_s, id}});
}

void CoachService::contact(HttpRequest& request, HttpResponder* r) {
    const auto body = jsonObject(request);
    if (!body) {
        return r->respondError(400, u"expected a JSON object"_s);
    }
    const QString email = body->value(u"email"_s).toString().trimmed();
    const QString message = body->value(u"message"_s).toString().trimmed();
    const QString page = body->value(u"page"_s).toString();
    if (!validEmail(email)) {
        return r->respondError(400, u"a valid e-mail address is required"_s);
    }
    if (message.isEmpty()) {
        return r->respondError(400, u"the message is empty"_s);
    }
    if (message.size() > 20'000) {
        return r->respondError(413, u"the message is too long"_s);
    }
    const qint64 id = m_store.addContact(email, message, textcut::prefix(page, 500));
    if (failedToStore(r)) {
        return;
    }
    qCInfo(lcService) << "contact note" << id << "from" << email;
    r->respondJson(200, QJsonObject{{u"ok"_s, true}, {u"id"_s, id}});
}

void CoachService::editPage(HttpRequest&, HttpResponder* r, const QString& token) {
    const auto d = m_store.draft(token);
    if (!d) {
        return r->respond(404, "text/html; charset=utf-8", EditPage::notFound(token));
    }
    EditPage::Author author;
    author.name = m_store.memory(d->userID, u"name"_s);
    author.headline = headline(d->userID);
    r->respond(200, "text/html; charset=utf-8", EditPage::render(*d, author));
}

} // namespace tolvane::coach
