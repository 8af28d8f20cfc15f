#pragma once

#include "service/ssestream.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QString>
#include <QUrl>

// A plain HTTP client for the coach tests: one request at a time, waited for
// on the event loop with an upper bound, and event-stream readers that use
// the app's own framer.
class CoachClient {
public:
    struct Reply {
        int status = 0;
        QByteArray body;
        QByteArray contentType;
        QJsonValue json() const;
        QJsonObject object() const { return json().toObject(); }
    };

    struct Event {
        QString name;
        QString data;
        QJsonObject object() const;
    };

    explicit CoachClient(QUrl root);

    Reply get(const QString& path, const QString& bearer = {});
    Reply send(const QByteArray& method, const QString& path, const QByteArray& body,
               const QByteArray& contentType = "application/json", const QString& bearer = {});
    Reply postJson(const QString& path, const QJsonObject& body, const QString& bearer = {});

    // POSTs to inapp/stream and returns the events of the whole reply.
    QList<Event> chat(const QString& userID, const QString& text,
                      const QString& timeZone = QStringLiteral("Europe/Berlin"),
                      const QByteArray& image = {});
    static QList<Event> frame(const QByteArray& body);
    // The final event's object, or an empty one.
    static QJsonObject final(const QList<Event>& events);

    QUrl url(const QString& path) const;
    QNetworkAccessManager& network() { return m_nam; }

private:
    Reply wait(QNetworkReply* reply);

    QUrl m_root;
    QNetworkAccessManager m_nam;
};

// Reads "inapp/events" incrementally and counts notify events.
class EventStream : public QObject {
    Q_OBJECT
public:
    EventStream(CoachClient& client, const QString& bearer);
    ~EventStream() override;
    int notifies() const { return m_notifies; }
    int comments() const { return m_comments; }
    int status() const;
    QNetworkReply* reply() const { return m_reply; }

Q_SIGNALS:
    void notified();

private:
    void read();

    QPointer<QNetworkReply> m_reply;
    tolvane::sse::Framer m_framer;
    int m_notifies = 0;
    int m_comments = 0;
};
