#include "coachclient.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace sse = tolvane::sse;

namespace {
constexpr int waitMs = 15000; // generous bound for a loopback request
}

QJsonValue CoachClient::Reply::json() const {
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (doc.isArray()) {
        return doc.array();
    }
    if (doc.isObject()) {
        return doc.object();
    }
    return {};
}

QJsonObject CoachClient::Event::object() const {
    return QJsonDocument::fromJson(data.toUtf8()).object();
}

CoachClient::CoachClient(QUrl root)
    : m_root(std::move(root)) {}

QUrl CoachClient::url(const QString& path) const {
    return QUrl(m_root.toString() + path);
}

CoachClient::Reply CoachClient::wait(QNetworkReply* reply) {
    QSignalSpy done(reply, &QNetworkReply::finished);
    if (!reply->isFinished()) {
        done.wait(waitMs);
    }
    Reply r;
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    r.body = reply->readAll();
    r.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    reply->deleteLater();
    return r;
}

CoachClient::Reply CoachClient::get(const QString& path, const QString& bearer) {
    QNetworkRequest request(url(path));
    if (!bearer.isEmpty()) {
        request.setRawHeader("Authorization", "Bearer " + bearer.toUtf8());
    }
    return wait(m_nam.get(request));
}

CoachClient::Reply CoachClient::send(const QByteArray& method, const QString& path,
                                     const QByteArray& body, const QByteArray& contentType,
                                     const QString& bearer) {
    QNetworkRequest request(url(path));
    if (!contentType.isEmpty()) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    }
    if (!bearer.isEmpty()) {
        request.setRawHeader("Authorization", "Bearer " + bearer.toUtf8());
    }
    return wait(m_nam.sendCustomRequest(request, method, body));
}

CoachClient::Reply CoachClient::postJson(const QString& path, const QJsonObject& body,
                                         const QString& bearer) {
    return send("POST", path, QJsonDocument(body).toJson(QJsonDocument::Compact),
                "application/json", bearer);
}

QList<CoachClient::Event> CoachClient::frame(const QByteArray& body) {
    QList<Event> events;
    sse::Framer framer;
    framer.feed(body, [&events](const QByteArray& bytes) {
        if (bytes.startsWith(':')) {
            events.append({u":comment"_s, {}});
        } else if (const auto block = sse::parseBlock(bytes); block && !block->event.isEmpty()) {
            events.append({block->event, block->data});
        }
        return true;
    });
    if (const QByteArray rest = framer.takeRemainder(); !rest.isEmpty()) {
        events.append({u":unterminated"_s, QString::fromUtf8(rest)});
    }
    return events;
}

QJsonObject CoachClient::final(const QList<Event>& events) {
    QJsonObject last;
    for (const Event& e : events) {
        if (e.name == "final"_L1) {
            last = e.object();
        }
    }
    return last;
}

QList<CoachClient::Event> CoachClient::chat(const QString& userID, const QString& text,
                                            const QString& timeZone, const QByteArray& image) {
    QJsonObject body{{u"user_id"_s, userID}, {u"text"_s, text}, {u"time_zone"_s, timeZone}};
    if (!image.isEmpty()) {
        body.insert(u"image_b64"_s, QString::fromLatin1(image.toBase64()));
        body.insert(u"image_mime"_s, u"image/png"_s);
    }
    QNetworkRequest request(url(u"inapp/stream"_s));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    request.setRawHeader("Accept", "text/event-stream");
    const Reply r = wait(m_nam.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact)));
    if (r.status != 200) {
        return {{u":status"_s, QString::number(r.status)}};
    }
    return frame(r.body);
}

EventStream::EventStream(CoachClient& client, const QString& bearer) {
    QNetworkRequest request(client.url(u"inapp/events"_s));
    request.setRawHeader("Accept", "text/event-stream");
    if (!bearer.isEmpty()) {
        request.setRawHeader("Authorization", "Bearer " + bearer.toUtf8());
    }
    m_reply = client.network().get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &EventStream::read);
}

EventStream::~EventStream() {
    if (QNetworkReply* reply = m_reply.data()) {
        reply->abort();
        reply->deleteLater();
    }
}

int EventStream::status() const {
    return m_reply ? m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
}

void EventStream::read() {
    m_framer.feed(m_reply->readAll(), [this](const QByteArray& block) {
        if (block.startsWith(':')) {
            ++m_comments;
        }
        if (sse::isNotify(block)) {
            ++m_notifies;
            Q_EMIT notified();
        }
        return true;
    });
}
