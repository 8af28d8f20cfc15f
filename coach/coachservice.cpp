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

namespace tolvane::coach {

Q_LOGGING_CATEGORY(lcService, "tolvane.coach.service", QtInfoMsg)

namespace {

constexpr int maxPostLength = 3000; // LinkedIn's limit for a post
constexpr int maxChatText = 20'000;
constexpr int defaultLlmLimit = 50;
constexpr int maxLlmLimit = 500;
// A chosen time this little in the past is treated as "now": the picker only
// offers future times, so it can only be the seconds the user took to click.
constexpr qint64 lateGraceSecs = 300;

std::optional<QJsonObject> jsonObject(const HttpRequest& request) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(request.body().toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

// A user id the app could have sent: printable ASCII, no spaces, bounded.
bool plausibleUid(const QString& uid) {
    if (uid.isEmpty() || uid.size() > 128)
        return false;
    for (QChar c : uid) {
        if (c.unicode() <= 32 || c.unicode() >= 127)
            return false;
    }
    return true;
}

// The same rule the app's support form applies.
bool validEmail(const QString& raw) {
    const QString email = raw.trimmed();
    if (email.contains(QLatin1Char(' ')))
        return false;
    const qsizetype at = email.indexOf(QLatin1Char('@'));
    if (at <= 0)
        return false;
    const QString domain = email.mid(at + 1);
    if (domain.isEmpty())
        return false;
    const qsizetype dot = domain.indexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == domain.size() - 1)
        return false;
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
        m_error = QStringLiteral("the coach listens on loopback addresses only, not %1")
                      .arg(m_options.address.toString());
        return false;
    }
    if (m_options.databasePath != QLatin1String(":memory:"))
        QDir().mkpath(QFileInfo(m_options.databasePath).absolutePath());
    if (!m_store.open(m_options.databasePath)) {
        m_error = QStringLiteral("cannot open the store %1: %2")
                      .arg(m_options.databasePath, m_store.errorString());
        return false;
    }
    // The fallback folder may be shared by coaches with other stores.
    const bool shared = m_options.videoDir.isEmpty();
    if (shared)
        m_options.videoDir = QDir::temp().filePath(QStringLiteral("tolvane-coach-videos"));
    QDir().mkpath(m_options.videoDir);

    m_server = std::make_unique<HttpServer>(
        [this](HttpRequest& request, HttpResponder* responder) { handle(request, responder); });
    m_server->limits.spoolDir = m_options.videoDir;
    if (!m_server->listen(m_options.address, m_options.port)) {
        m_error = QStringLiteral("cannot listen on %1:%2: %3")
                      .arg(m_options.address.toString())
                      .arg(m_options.port)
                      .arg(m_server->errorString());
        return false;
    }
    const QString host = m_options.address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(m_options.address.toString())
                             : m_options.address.toString();
    // Only a coach that got its address cleans up: another may be running.
    sweepVideoDir(shared);
    m_root = QStringLiteral("http://%1:%2/").arg(host).arg(m_server->port());
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
    if (!responder->hasResponded())
        responder->respondError(500, QStringLiteral("no response"));
}

void CoachService::sweepVideoDir(bool shared) {
    // Left by a coach that was killed mid-upload: partly written videos and
    // spooled request bodies. In a folder of this store's own, videos no
    // record names are orphans of the same kind.
    QDir dir(m_options.videoDir);
    const QDateTime hourAgo = QDateTime::currentDateTimeUtc().addSecs(-3600);
    int removed = 0;
    for (const QFileInfo& info : dir.entryInfoList(
             {QStringLiteral("*.mp4.part"), QStringLiteral("tolvane-coach-body-*")}, QDir::Files)) {
        // Another coach on the shared folder may be writing it right now.
        if ((!shared || info.lastModified().toUTC() < hourAgo) && QFile::remove(info.filePath()))
            ++removed;
    }
    const auto known = shared ? std::nullopt : m_store.videoPaths();
    if (known) {
        QSet<QString> names;
        for (const QString& path : *known)
            names.insert(QFileInfo(path).fileName());
        for (const QFileInfo& info : dir.entryInfoList({QStringLiteral("*.mp4")}, QDir::Files)) {
            if (!names.contains(info.fileName()) && QFile::remove(info.filePath()))
                ++removed;
        }
    }
    if (removed > 0)
        qCInfo(lcService) << "removed" << removed << "unfinished or orphaned uploads from"
                          << m_options.videoDir;
}

bool CoachService::failedToStore(HttpResponder* r) {
    const QString error = m_store.takeWriteError();
    if (error.isEmpty())
        return false;
    // Nothing may be promised (an edit link, an id, "scheduled") that is not
    // in the store.
    r->respondError(507, QStringLiteral("The coach could not store this: %1").arg(error));
    return true;
}

namespace {

// A path pattern: "{}" stands for one non-empty segment, "*" for any segment
// (empty included); a pattern without either must equal the path. Returns the
// segments the placeholders stood for, or nothing when the path does not match.
std::optional<QStringList> matchPath(QLatin1String pattern, const QString& path,
                                     const QStringList& parts) {
    if (!pattern.contains(QLatin1String("{}")) && !pattern.contains(QLatin1Char('*'))) {
        if (path != pattern)
            return std::nullopt;
        return QStringList();
    }
    const QStringList want = QString(pattern).mid(1).split(QLatin1Char('/'));
    if (want.size() != parts.size())
        return std::nullopt;
    QStringList captured;
    for (qsizetype i = 0; i < want.size(); ++i) {
        if (want[i] == QLatin1String("*") ||
            (want[i] == QLatin1String("{}") && !parts[i].isEmpty()))
            captured.append(parts[i]);
        else if (want[i] != parts[i])
            return std::nullopt;
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
        {"GET", QLatin1String("/health"), &CoachService::health},
        {"GET", QLatin1String("/"), &CoachService::health},
        {"POST", QLatin1String("/session"),
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.session(q, a);
         }},
        {"GET", QLatin1String("/api/overview"),
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.overview(q, a);
         }},
        {"GET", QLatin1String("/api/notifications"),
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.notifications(q, a);
         }},
        {"GET", QLatin1String("/api/profile"),
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.profile(q, a);
         }},
        {"GET", QLatin1String("/api/debug/status"), &CoachService::debugStatus},
        {"GET", QLatin1String("/api/draft/{}"),
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList& p) {
             s.draft(q, a, p[0]);
         }},
        {"PUT", QLatin1String("/api/draft/{}"),
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList& p) {
             s.draftUpdate(q, a, p[0]);
         }},
        {"POST", QLatin1String("/api/draft/{}"),
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList& p) {
             s.draftUpdate(q, a, p[0]);
         }},
        {"GET", QLatin1String("/api/draft/*/preview.png"),
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList& p) {
             s.preview(q, a, p[0]);
         }},
        {"POST", QLatin1String("/api/schedule/{}"),
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList& p) {
             s.schedule(q, a, p[0]);
         }},
        {"GET", QLatin1String("/api/debug/llm"),
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.llmCalls(q, a);
         }},
        {"DELETE", QLatin1String("/api/debug/llm"), &CoachService::llmCallsDelete},
        {"GET", QLatin1String("/api/debug/llm/*"),
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList& p) {
             s.llmCall(q, a, p[0]);
         }},
        {"POST", QLatin1String("/inapp/stream"),
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.chat(q, a);
         }},
        {"GET", QLatin1String("/inapp/events"),
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.events(q, a);
         }},
        {"POST", QLatin1String("/inapp/video"),
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.upload(q, a);
         }},
        {"POST", QLatin1String("/api/contact"),
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList&) {
             s.contact(q, a);
         }},
        {"GET", QLatin1String("/download/version.json"), &CoachService::versionInfo},
        {{}, QLatin1String("/download/"), &CoachService::downloadPage},
        {{}, QLatin1String("/download"), &CoachService::downloadPage},
        {"GET", QLatin1String("/edit/{}"),
         [](CoachService& s, HttpRequest& q, HttpResponder* a, const QStringList& p) {
             s.editPage(q, a, p[0]);
         }},
    };

    const QStringList parts = request.pathParts();
    QByteArrayList allowed;
    for (const Route& route : routes) {
        const auto captured = matchPath(route.pattern, request.path, parts);
        if (!captured)
            continue;
        if (route.method.isEmpty() || route.method == request.method)
            return route.handler(*this, request, r, *captured);
        if (!allowed.contains(route.method))
            allowed.append(route.method);
    }
    if (!allowed.isEmpty()) {
        r->respond(405, "application/json", R"({"error":"method not allowed"})",
                   {{"Allow", allowed.join(", ")}});
        return;
    }
    r->respondError(404, QStringLiteral("not found: %1").arg(textcut::prefix(request.path, 200)));
}

void CoachService::health(CoachService&, HttpRequest&, HttpResponder* r, const QStringList&) {
    r->respondJson(200,
                   QJsonObject{{QStringLiteral("service"), QStringLiteral("tolvane-coach")},
                               {QStringLiteral("protocol"), protocolVersion},
                               {QStringLiteral("version"), QString::fromLatin1(build::version)},
                               {QStringLiteral("pid"), QCoreApplication::applicationPid()}});
}

void CoachService::debugStatus(CoachService& s, HttpRequest& request, HttpResponder* r,
                               const QStringList&) {
    if (!s.bearerUser(request, r))
        return;
    // The log holds only this machine's own calls, so it is always open.
    r->respondJson(200, QJsonObject{{QStringLiteral("debug"), true}});
}

void CoachService::llmCallsDelete(CoachService& s, HttpRequest& request, HttpResponder* r,
                                  const QStringList&) {
    // With a bearer only that user's calls go; without one, the whole log.
    std::optional<qint64> only;
    if (const QString uid = request.bearer(); !uid.isEmpty()) {
        const auto u = s.m_store.findUser(uid);
        if (!u)
            return r->respondJson(200, QJsonObject{{QStringLiteral("deleted"), 0}});
        only = u->id;
    }
    const qint64 n = s.m_store.clearLlmCalls(only);
    if (s.failedToStore(r))
        return;
    r->respondJson(200, QJsonObject{{QStringLiteral("deleted"), n}});
}

void CoachService::versionInfo(CoachService& s, HttpRequest&, HttpResponder* r,
                               const QStringList&) {
    r->respondJson(
        200, QJsonObject{{QStringLiteral("version"), QString::fromLatin1(build::version)},
                         {QStringLiteral("url"), s.m_root + QStringLiteral("download/")},
                         {QStringLiteral("notes"),
                          QStringLiteral("The local coach always matches the app it was built "
                                         "with.")}});
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
        r->respondError(401, QStringLiteral("missing bearer token"));
        return std::nullopt;
    }
    if (!plausibleUid(uid)) {
        r->respondError(401, QStringLiteral("malformed bearer token"));
        return std::nullopt;
    }
    return m_store.user(uid);
}

QString CoachService::headline(qint64 userId) {
    QString line = m_store.memory(userId, QStringLiteral("role"));
    if (line.isEmpty())
        return line;
    line[0] = line[0].toUpper();
    const QString company = m_store.memory(userId, QStringLiteral("company"));
    if (!company.isEmpty())
        line += QStringLiteral(" at ") + company;
    return line;
}

void CoachService::session(HttpRequest& request, HttpResponder* r) {
    // The app registers with an empty request, so the coach hands out the id.
    // A caller that names its id (bearer or body) gets it confirmed instead.
    QString uid = request.bearer();
    if (uid.isEmpty()) {
        if (const auto body = jsonObject(request))
            uid = body->value(QStringLiteral("user_id")).toString();
    }
    // App user ids carry the "mac-" prefix on every platform.
    if (uid.isEmpty())
        uid = QStringLiteral("mac-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
    if (!plausibleUid(uid))
        return r->respondError(400, QStringLiteral("malformed user id"));
    m_store.user(uid);
    if (failedToStore(r))
        return;
    r->respondJson(200, QJsonObject{{QStringLiteral("user_id"), uid}});
}

void CoachService::overview(HttpRequest& request, HttpResponder* r) {
    const auto user = bearerUser(request, r);
    if (!user)
        return;
    const Overview o = m_store.overview(user->id);
    r->respondJson(200, QJsonObject{
                            {QStringLiteral("drafts_count"), o.drafts},
                            {QStringLiteral("scheduled_pending"), o.scheduledPending},
                            {QStringLiteral("published_count"), o.published},
                            {QStringLiteral("total_impressions"), o.impressions},
                            {QStringLiteral("total_likes"), o.likes},
                            // Posts go to the coach's own store; no network is connected.
                            {QStringLiteral("connected_platforms"), QJsonArray()},
                        });
}

void CoachService::notifications(HttpRequest& request, HttpResponder* r) {
    const auto user = bearerUser(request, r);
    if (!user)
        return;
    QJsonArray list;
    for (const Notification& n : m_store.takeNotifications(user->id)) {
        QJsonObject o{{QStringLiteral("text"), n.text},
                      {QStringLiteral("created_at"), iso8601::formatWithMilliseconds(n.createdAt)}};
        if (!n.imageB64.isEmpty())
            o.insert(QStringLiteral("image_b64"), n.imageB64);
        list.append(o);
    }
    r->respondJson(200, QJsonObject{{QStringLiteral("notifications"), list}});
}

void CoachService::profile(HttpRequest& request, HttpResponder* r) {
    const auto user = bearerUser(request, r);
    if (!user)
        return;
    const QString platform =
        request.query.queryItemValue(QStringLiteral("platform"), QUrl::FullyDecoded);
    if (!platform.isEmpty() && platform.toLower() != QLatin1String("linkedin"))
        return r->respondError(404, QStringLiteral("no %1 profile is connected").arg(platform));
    // An unknown name stays empty so the app falls back to its own setting.
    r->respondJson(200,
                   QJsonObject{
                       {QStringLiteral("name"), m_store.memory(user->id, QStringLiteral("name"))},
                       {QStringLiteral("headline"), headline(user->id)},
                       {QStringLiteral("handle"), QString()},
                   });
}

void CoachService::draft(HttpRequest&, HttpResponder* r, const QString& token) {
    const auto d = m_store.draft(token);
    if (!d)
        return r->respondError(404, QStringLiteral("draft not found"));
    QJsonObject o{{QStringLiteral("text"), d->text},
                  {QStringLiteral("platform"), d->platform},
                  {QStringLiteral("status"), d->status},
                  {QStringLiteral("style"), d->style}};
    if (d->scheduledAt.isValid())
        o.insert(QStringLiteral("scheduled_at"), iso8601::formatWithMilliseconds(d->scheduledAt));
    if (d->publishedAt.isValid())
        o.insert(QStringLiteral("published_at"), iso8601::formatWithMilliseconds(d->publishedAt));
    r->respondJson(200, o);
}

void CoachService::draftUpdate(HttpRequest& request, HttpResponder* r, const QString& token) {
    const auto body = jsonObject(request);
    if (!body || !body->value(QStringLiteral("text")).isString())
        return r->respondError(400,
                               QStringLiteral("expected a JSON object with a \"text\" string"));
    const QString text = body->value(QStringLiteral("text")).toString();
    if (text.size() > maxPostLength)
        return r->respondError(400, QStringLiteral("posts are limited to %1 characters (this one "
                                                   "has %2)")
                                        .arg(maxPostLength)
                                        .arg(text.size()));
    const auto d = m_store.draft(token);
    if (!d)
        return r->respondError(404, QStringLiteral("draft not found"));
    if (d->status == QLatin1String("published"))
        return r->respondError(409, QStringLiteral("this post is already published"));
    m_store.updateDraft(token, text, {});
    if (failedToStore(r))
        return;
    r->respondJson(200, QJsonObject{{QStringLiteral("text"), text},
                                    {QStringLiteral("platform"), d->platform},
                                    {QStringLiteral("status"), d->status}});
}

void CoachService::preview(HttpRequest&, HttpResponder* r, const QString& token) {
    const auto d = m_store.draft(token);
    if (!d)
        return r->respondError(404, QStringLiteral("draft not found"));
    PreviewRenderer::Card card;
    card.name = m_store.memory(d->userId, QStringLiteral("name"));
    card.headline = headline(d->userId);
    card.text = d->text;
    card.status = d->status;
    const QString key =
        QStringList{token, card.text, card.name, card.headline, card.status}.join(QChar(0x1f));
    if (!m_previews.contains(key))
        m_previews.insert(key, new QByteArray(PreviewRenderer::renderCard(card)));
    r->respond(200, "image/png", *m_previews.object(key), {{"Cache-Control", "no-cache"}});
}

void CoachService::schedule(HttpRequest& request, HttpResponder* r, const QString& token) {
    const auto body = jsonObject(request);
    if (!body)
        return r->respondError(400, QStringLiteral("expected a JSON object"));
    const QJsonValue textValue = body->value(QStringLiteral("text"));
    const QJsonValue whenValue = body->value(QStringLiteral("when"));
    if (!textValue.isString())
        return r->respondError(400, QStringLiteral("\"text\" must be a string"));
    if (!whenValue.isString() && !whenValue.isUndefined() && !whenValue.isNull())
        return r->respondError(400, QStringLiteral("\"when\" must be a string"));
    const QString text = textValue.toString();
    if (text.trimmed().isEmpty())
        return r->respondError(400, QStringLiteral("The post is empty."));
    if (text.size() > maxPostLength)
        return r->respondError(400, QStringLiteral("Posts are limited to %1 characters; this one "
                                                   "has %2.")
                                        .arg(maxPostLength)
                                        .arg(text.size()));
    const auto d = m_store.draft(token);
    if (!d)
        return r->respondError(404, QStringLiteral("Draft not found."));
    if (d->status == QLatin1String("published"))
        return r->respondError(409, QStringLiteral("This post is already published."));

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString whenText = whenValue.toString().trimmed();
    QDateTime at;
    if (!whenText.isEmpty()) {
        at = iso8601::parseEither(whenText).value_or(QDateTime());
        if (!at.isValid())
            return r->respondError(400, QStringLiteral("\"when\" must be an ISO 8601 date-time "
                                                       "with a time zone, or empty to post now"));
        if (at.secsTo(now) > lateGraceSecs)
            return r->respondError(400, QStringLiteral("That time is in the past."));
    }
    if (!at.isValid() || at <= now) {
        m_store.publishDraft(token, text, now);
        if (failedToStore(r))
            return;
        return r->respondJson(
            200, QJsonObject{{QStringLiteral("at"), iso8601::formatWithMilliseconds(now)},
                             {QStringLiteral("mode"), QStringLiteral("published")}});
    }
    m_store.scheduleDraft(token, text, at);
    if (failedToStore(r))
        return;
    r->respondJson(200, QJsonObject{{QStringLiteral("at"), iso8601::formatWithMilliseconds(at)},
                                    {QStringLiteral("mode"), QStringLiteral("scheduled")}});
}

void CoachService::llmCalls(HttpRequest& request, HttpResponder* r) {
    int limit = defaultLlmLimit;
    if (request.query.hasQueryItem(QStringLiteral("limit"))) {
        bool ok = false;
        limit = request.query.queryItemValue(QStringLiteral("limit")).toInt(&ok);
        if (!ok || limit < 1)
            return r->respondError(400, QStringLiteral("limit must be a positive integer"));
        limit = std::min(limit, maxLlmLimit);
    }
    std::optional<qint64> only;
    if (const QString uid = request.bearer(); !uid.isEmpty()) {
        const auto u = m_store.findUser(uid);
        if (!u)
            return r->respondJson(200, QJsonArray());
        only = u->id;
    }
    QJsonArray list;
    for (const LlmCall& c : m_store.llmCalls(limit, only)) {
        list.append(QJsonObject{
            {QStringLiteral("id"), c.id},
            {QStringLiteral("created_at"), iso8601::formatWithMilliseconds(c.createdAt)},
            {QStringLiteral("user_id"), c.userId},
            {QStringLiteral("intent"), c.intent},
            {QStringLiteral("label"), c.label},
            {QStringLiteral("provider"), c.provider},
            {QStringLiteral("model"), c.model},
            {QStringLiteral("latency_ms"), c.latencyMs},
            {QStringLiteral("stop_reason"), c.stopReason},
            {QStringLiteral("error"), c.error},
            {QStringLiteral("input_tokens"), c.inputTokens},
            {QStringLiteral("output_tokens"), c.outputTokens},
            {QStringLiteral("cache_read_tokens"), c.cacheReadTokens},
            {QStringLiteral("reasoning_tokens"), c.reasoningTokens},
        });
    }
    r->respondJson(200, list);
}

void CoachService::llmCall(HttpRequest&, HttpResponder* r, const QString& idText) {
    bool ok = false;
    const qint64 id = idText.toLongLong(&ok);
    if (!ok)
        return r->respondError(400, QStringLiteral("call id must be an integer"));
    const auto c = m_store.llmCall(id);
    if (!c)
        return r->respondError(404, QStringLiteral("no AI call %1").arg(id));
    QJsonObject o{
        {QStringLiteral("id"), c->id},
        {QStringLiteral("created_at"), iso8601::formatWithMilliseconds(c->createdAt)},
        {QStringLiteral("model"), c->model},
        {QStringLiteral("provider"), c->provider},
        {QStringLiteral("intent"), c->intent},
        {QStringLiteral("label"), c->label},
        {QStringLiteral("latency_ms"), c->latencyMs},
        {QStringLiteral("stop_reason"), c->stopReason},
        {QStringLiteral("error"), c->error},
    };
    if (!c->request.isEmpty())
        o.insert(QStringLiteral("request"), c->request);
    if (!c->response.isEmpty())
        o.insert(QStringLiteral("response"), c->response);
    r->respondJson(200, o);
}

void CoachService::chat(HttpRequest& request, HttpResponder* r) {
    const auto body = jsonObject(request);
    if (!body)
        return r->respondError(400, QStringLiteral("expected a JSON object"));
    const QJsonValue uidValue = body->value(QStringLiteral("user_id"));
    const QJsonValue textValue = body->value(QStringLiteral("text"));
    if (!uidValue.isString() || !plausibleUid(uidValue.toString()))
        return r->respondError(400, QStringLiteral("\"user_id\" must be a non-empty id"));
    if (!textValue.isString())
        return r->respondError(400, QStringLiteral("\"text\" must be a string"));
    if (textValue.toString().size() > maxChatText)
        return r->respondError(413, QStringLiteral("Messages are limited to %L1 characters; this "
                                                   "one has %L2.")
                                        .arg(maxChatText)
                                        .arg(textValue.toString().size()));
    QByteArray image;
    QString imageMime;
    if (const QJsonValue b64 = body->value(QStringLiteral("image_b64")); !b64.isUndefined()) {
        if (!b64.isString())
            return r->respondError(400, QStringLiteral("\"image_b64\" must be a string"));
        auto decoded = QByteArray::fromBase64Encoding(b64.toString().toLatin1(),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return r->respondError(400, QStringLiteral("\"image_b64\" is not valid base64"));
        image = *decoded;
        imageMime = body->value(QStringLiteral("image_mime")).toString(QStringLiteral("image/png"));
    }
    if (textValue.toString().trimmed().isEmpty() && image.isEmpty())
        return r->respondError(400, QStringLiteral("empty message"));

    CoachEngine::Input input;
    input.user = m_store.user(uidValue.toString());
    input.text = textValue.toString();
    input.timeZone = body->value(QStringLiteral("time_zone")).toString();
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

    LlmCall call;
    call.createdAt = input.now;
    call.userId = input.user.id;
    call.intent = turn.intent;
    call.label = turn.label;
    call.provider = CoachEngine::provider;
    call.model = CoachEngine::modelName;
    call.latencyMs = latency;
    call.stopReason = QStringLiteral("end_turn");
    call.inputTokens = estimateTokens(CoachEngine::systemDescription() + input.text);
    call.outputTokens = estimateTokens(turn.reply);
    QJsonObject message{{QStringLiteral("role"), QStringLiteral("user")},
                        {QStringLiteral("text"), input.text}};
    if (!image.isEmpty())
        message.insert(QStringLiteral("image"),
                       QJsonObject{{QStringLiteral("mime"), imageMime},
                                   {QStringLiteral("bytes"), qint64(image.size())}});
    call.request = QJsonObject{
        {QStringLiteral("model"), CoachEngine::modelName},
        {QStringLiteral("system"), CoachEngine::systemDescription()},
        {QStringLiteral("tools"), QJsonArray::fromStringList(CoachEngine::toolNames())},
        {QStringLiteral("messages"), QJsonArray{message}},
    };
    call.response = QJsonObject{{QStringLiteral("stop_reason"), call.stopReason},
                                {QStringLiteral("text"), turn.reply},
                                {QStringLiteral("tool_calls"), turn.toolCalls}};
    // /forgetme erases the log too; its own record would bring the user's words back.
    if (turn.intent != QLatin1String("command") || turn.label != QLatin1String("/forgetme"))
        m_store.addLlmCall(call);
    if (failedToStore(r))
        return;

    r->beginStream(200, "text/event-stream", {{"X-Accel-Buffering", "no"}});
    for (const QString& status : std::as_const(statuses))
        r->write(sse("status", QJsonObject{{QStringLiteral("text"), status}}));
    QJsonArray images;
    for (const CoachEngine::Image& img : turn.images) {
        QJsonObject o{{QStringLiteral("data_b64"), QString::fromLatin1(img.bytes.toBase64())},
                      {QStringLiteral("mime"), img.mime},
                      {QStringLiteral("caption"), img.caption}};
        if (!img.group.isEmpty())
            o.insert(QStringLiteral("group"), img.group);
        images.append(o);
    }
    const QJsonObject debug{{QStringLiteral("model"), call.model},
                            {QStringLiteral("input_tokens"), call.inputTokens},
                            {QStringLiteral("output_tokens"), call.outputTokens},
                            {QStringLiteral("cache_read_tokens"), 0},
                            {QStringLiteral("cache_write_tokens"), 0},
                            {QStringLiteral("cost_usd"), 0.0}};
    r->write(sse("final", QJsonObject{{QStringLiteral("reply"), turn.reply},
                                      {QStringLiteral("debug"), debug},
                                      {QStringLiteral("images"), images}}));
    r->endStream();
}

void CoachService::events(HttpRequest& request, HttpResponder* r) {
    const auto user = bearerUser(request, r);
    if (!user)
        return;
    m_events->subscribe(user->id, r, m_store.pendingNotifications(user->id) > 0);
}

void CoachService::upload(HttpRequest& request, HttpResponder* r) {
    const QByteArray boundary = MultipartParser::boundaryOf(request.header("content-type"));
    if (boundary.isEmpty())
        return r->respondError(415, QStringLiteral("expected multipart/form-data with a boundary"));
    const auto parts = MultipartParser::parse(request.body(), boundary);
    if (!parts)
        return r->respondError(400, QStringLiteral("malformed multipart body"));
    QString uid;
    QString title;
    double duration = 0;
    const MultipartParser::Part* video = nullptr;
    for (const auto& part : *parts) {
        if (part.name == QLatin1String("user_id"))
            uid = QString::fromUtf8(part.data.toByteArray()).trimmed();
        else if (part.name == QLatin1String("title"))
            title = QString::fromUtf8(part.data.toByteArray());
        else if (part.name == QLatin1String("duration")) {
            bool ok = false;
            duration = QString::fromUtf8(part.data.toByteArray()).toDouble(&ok);
            if (!ok || duration < 0)
                return r->respondError(400, QStringLiteral("\"duration\" must be seconds"));
        } else if (part.name == QLatin1String("video"))
            video = &part;
    }
    if (!plausibleUid(uid))
        return r->respondError(400, QStringLiteral("missing \"user_id\" field"));
    if (!video)
        return r->respondError(400, QStringLiteral("missing \"video\" file part"));
    const QString path =
        QDir(m_options.videoDir)
            .filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".mp4"));
    // Written under a temporary name and renamed when complete, so a kill
    // leaves a ".part" file the next start removes, never a cut-off video.
    QFile file(path + QStringLiteral(".part"));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(video->data.data(), video->data.size()) != video->data.size() || !file.flush()) {
        file.remove();
        return r->respondError(507, QStringLiteral("could not store the video"));
    }
    file.close();
    if (file.error() != QFileDevice::NoError || !file.rename(path)) {
        file.remove();
        return r->respondError(507, QStringLiteral("could not store the video"));
    }
    const User user = m_store.user(uid);
    const qint64 id = m_store.addVideo(user.id, path, duration, title, video->data.size());
    if (failedToStore(r)) {
        QFile::remove(path);
        return;
    }
    qCInfo(lcService) << "stored video" << id << video->data.size() << "bytes";
    QString note = QStringLiteral("Got your %1-second video. ").arg(duration, 0, 'f', 1);
    note += duration > 90 ? QStringLiteral("It's on the long side: the first three seconds "
                                           "decide whether people stay, so lead with the "
                                           "point, and consider cutting it under 60 s.")
                          : QStringLiteral("Good length for the feed. Post it with a one-line "
                                           "hook that says what people will learn, and keep "
                                           "the captions on: most people watch muted.");
    m_store.addNotification(user.id, note);
    m_events->notify(user.id);
    r->respondJson(200, QJsonObject{{QStringLiteral("video_id"), id}});
}

void CoachService::contact(HttpRequest& request, HttpResponder* r) {
    const auto body = jsonObject(request);
    if (!body)
        return r->respondError(400, QStringLiteral("expected a JSON object"));
    const QString email = body->value(QStringLiteral("email")).toString().trimmed();
    const QString message = body->value(QStringLiteral("message")).toString().trimmed();
    const QString page = body->value(QStringLiteral("page")).toString();
    if (!validEmail(email))
        return r->respondError(400, QStringLiteral("a valid e-mail address is required"));
    if (message.isEmpty())
        return r->respondError(400, QStringLiteral("the message is empty"));
    if (message.size() > 20'000)
        return r->respondError(413, QStringLiteral("the message is too long"));
    const qint64 id = m_store.addContact(email, message, textcut::prefix(page, 500));
    if (failedToStore(r))
        return;
    qCInfo(lcService) << "contact note" << id << "from" << email;
    r->respondJson(200, QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("id"), id}});
}

void CoachService::editPage(HttpRequest&, HttpResponder* r, const QString& token) {
    const auto d = m_store.draft(token);
    if (!d)
        return r->respond(404, "text/html; charset=utf-8", EditPage::notFound(token));
    EditPage::Author author;
    author.name = m_store.memory(d->userId, QStringLiteral("name"));
    author.headline = headline(d->userId);
    r->respond(200, "text/html; charset=utf-8", EditPage::render(*d, author));
}

} // namespace tolvane::coach
