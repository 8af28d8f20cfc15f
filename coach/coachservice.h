#pragma once

#include "coachengine.h"
#include "eventhub.h"
#include "httpserver.h"
#include "publisher.h"
#include "store.h"

#include <QCache>
#include <QObject>

#include <memory>

namespace tolvane::coach {

// The coach service: routes every endpoint to the store and the engine, and
// owns the HTTP server, the event streams and the publisher.
class CoachService : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString databasePath;
        QString videoDir;
        QHostAddress address = QHostAddress::LocalHost;
        quint16 port = 20511;
        int keepAliveMs = 15'000;
        int publishIntervalMs = 1'000;
    };

    // Answers the health endpoint; bumped when the wire changes incompatibly.
    static constexpr int protocolVersion = 1;

    explicit CoachService(Options options, QObject* parent = nullptr);
    ~CoachService() override;

    // Opens the store and starts listening. False with errorString() set.
    bool start();
    QString errorString() const { return m_error; }
    quint16 port() const;
    QString root() const { return m_root; }

    Store& store() { return m_store; }
    Publisher* publisher() { return m_publisher.get(); }
    EventHub* events() { return m_events.get(); }
    HttpServer* server() { return m_server.get(); }

private:
    void handle(HttpRequest& request, HttpResponder* responder);
    void route(HttpRequest& request, HttpResponder* r);
    void sweepVideoDir(bool shared);
    // Answers 507 with the store's reason when a write of this request failed.
    bool failedToStore(HttpResponder* r);
    // The user named by the bearer token, answering 401 when there is none.
    std::optional<User> bearerUser(const HttpRequest& request, HttpResponder* r);
    // "Role at Company" from what the user told the coach, or empty.
    QString headline(qint64 userID);

    // Small endpoints, written in the route table's handler form.
    static void health(CoachService&, HttpRequest&, HttpResponder* r, const QStringList&);
    static void debugStatus(CoachService& s, HttpRequest& request, HttpResponder* r,
                            const QStringList&);
    static void llmCallsDelete(CoachService& s, HttpRequest& request, HttpResponder* r,
                               const QStringList&);
    static void versionInfo(CoachService& s, HttpRequest&, HttpResponder* r, const QStringList&);
    static void downloadPage(CoachService&, HttpRequest&, HttpResponder* r, const QStringList&);

    void session(HttpRequest& request, HttpResponder* r);
    void overview(HttpRequest& request, HttpResponder* r);
    void notifications(HttpRequest& request, HttpResponder* r);
    void profile(HttpRequest& request, HttpResponder* r);
    void draft(HttpRequest& request, HttpResponder* r, const QString& token);
    void draftUpdate(HttpRequest& request, HttpResponder* r, const QString& token);
    void preview(HttpRequest& request, HttpResponder* r, const QString& token);
    void schedule(HttpRequest& request, HttpResponder* r, const QString& token);
    void llmCalls(HttpRequest& request, HttpResponder* r);
    void llmCall(HttpRequest& request, HttpResponder* r, const QString& id);
    void chat(HttpRequest& request, HttpResponder* r);
    void events(HttpRequest& request, HttpResponder* r);
    void upload(HttpRequest& request, HttpResponder* r);
    void contact(HttpRequest& request, HttpResponder* r);
    void editPage(HttpRequest& request, HttpResponder* r, const QString& token);

    Options m_options;
    Store m_store;
    CoachEngine m_engine;
    std::unique_ptr<HttpServer> m_server;
    std::unique_ptr<EventHub> m_events;
    std::unique_ptr<Publisher> m_publisher;
    QString m_root;
    QString m_error;
    // Drawing a card takes tens of milliseconds on the event loop; the app asks
    // for the same preview every time it shows the message.
    QCache<QString, QByteArray> m_previews{64};
};

} // namespace tolvane::coach
