#pragma once

#include "platform/cancellation.h"

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <coroutine>
#include <functional>
#include <memory>

class QIODevice;
class QNetworkAccessManager;

namespace tolvane {

// One network manager for the process, on the main thread, so connections are
// shared between requests.
QNetworkAccessManager& sharedNetwork();
// Deletes the shared manager together with the connections it keeps open for
// reuse, which it hands to the event loop to delete: for a program that ends
// without returning to its event loop.
void releaseSharedNetwork();

// What came back from one request.
struct HttpResponse {
    // 0 when no HTTP response arrived.
    int status = 0;
    QByteArray body;
    // Set when the transfer failed (no connection, time-out, cut off).
    QString transportError;
    bool cancelled = false;

    bool failed() const { return !transportError.isNull(); }
};

struct HttpRequest {
    QNetworkRequest request;
    QByteArray method = "GET";
    QByteArray body;
    // When set, the body is streamed from this device instead.
    QIODevice* bodyDevice = nullptr;
    std::chrono::milliseconds timeout{60000};
    std::function<void(qint64 sent, qint64 total)> uploadProgress;
};

// Builds a request with the common headers and the idle time-out.
QNetworkRequest makeRequest(const QUrl& url);

// Sends a request and collects the whole reply. Never throws.
QCoro::Task<HttpResponse> send(HttpRequest request, CancelHandle cancel = {});

// Starts a request whose body the caller reads incrementally; the reply is
// owned by the caller (deleteLater) and aborted when `cancel` fires.
QNetworkReply* open(const HttpRequest& request, const CancelHandle& cancel);

// Whether a finished or failing reply carries a transport failure (as opposed
// to an HTTP status the server chose).
bool isTransportFailure(const QNetworkReply& reply);

// The user-facing text of a transport failure.
QString transportErrorText(const QNetworkReply& reply, bool cancelledByCaller);

// Awaitable: resumes once the reply has unread bytes, has finished or is gone.
// A plain awaiter rather than a coroutine, so no reply handle is copied into a
// coroutine frame of its own.
class DataAwaiter {
public:
    explicit DataAwaiter(QNetworkReply* reply)
        : m_reply(reply) {}
    bool await_ready() const;
    void await_suspend(std::coroutine_handle<> handle);
    void await_resume() const {}

private:
    QPointer<QNetworkReply> m_reply;
    QList<QMetaObject::Connection> m_connections;
};

inline DataAwaiter waitForData(QNetworkReply* reply) {
    return DataAwaiter(reply);
}

} // namespace tolvane
