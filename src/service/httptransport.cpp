#include "httptransport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <qcoro/qcoronetworkreply.h>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

QPointer<QNetworkAccessManager>& sharedNetworkPointer() {
    static QPointer<QNetworkAccessManager> manager;
    return manager;
}

} // namespace

QNetworkAccessManager& sharedNetwork() {
    // Parented to the application so it goes before the event loop's objects.
    QPointer<QNetworkAccessManager>& manager = sharedNetworkPointer();
    if (!manager) {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    }
    return *manager;
}

void releaseSharedNetwork() {
    delete sharedNetworkPointer().data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QNetworkRequest makeRequest(const QUrl& url) {
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::PreferNetwork);
    return request;
}

QNetworkReply* open(const HttpRequest& request, const CancelHandle& cancel) {
    QNetworkRequest networkRequest = request.request;
    networkRequest.setTransferTimeout(static_cast<int>(request.timeout.count()));
    QNetworkAccessManager& network = sharedNetwork();
    QNetworkReply* reply = nullptr;
    if (request.bodyDevice) {
        reply = network.sendCustomRequest(networkRequest, request.method, request.bodyDevice);
    } else if (request.method == "GET") {
        reply = network.get(networkRequest);
    } else if (request.method == "DELETE") {
        reply = network.deleteResource(networkRequest);
    } else {
        reply = network.sendCustomRequest(networkRequest, request.method, request.body);
    }
    if (request.uploadProgress) {
        QObject::connect(reply, &QNetworkReply::uploadProgress, reply, request.uploadProgress);
    }
    if (cancel) {
        QObject::connect(cancel.get(), &CancelToken::cancelled, reply, &QNetworkReply::abort);
    }
    return reply;
}

bool isTransportFailure(const QNetworkReply& reply) {
    const int error = reply.error();
    // Qt groups its error codes: 1-99 network layer, 101-199 proxy. Codes of the
    // other ranges also stand for HTTP statuses the server chose (400 is a
    // "protocol" error to Qt), so they count as transport failures only when
    // no status arrived or the body broke off.
    if (error >= 1 && error <= 199) {
        return true;
    }
    if (error == QNetworkReply::ProtocolFailure) {
        return true;
    }
    return error != QNetworkReply::NoError &&
           !reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
}

QString transportErrorText(const QNetworkReply& reply, bool cancelledByCaller) {
    if (reply.error() == QNetworkReply::OperationCanceledError && !cancelledByCaller) {
        // Qt reports its own idle time-out as a cancellation.
        return u"The request timed out."_s;
    }
    if (cancelledByCaller) {
        return u"cancelled"_s;
    }
    // Qt's own texts are terse ("Connection refused"); the common failures
    // get a sentence a user can act on.
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
        return u"Could not connect to the server."_s;
    case QNetworkReply::RemoteHostClosedError:
        return u"The network connection was lost."_s;
    case QNetworkReply::HostNotFoundError:
        return u"A server with the specified hostname could not be found."_s;
    case QNetworkReply::TimeoutError:
        return u"The request timed out."_s;
    case QNetworkReply::SslHandshakeFailedError:
        return u"An SSL error has occurred and a secure connection to the server "
               "cannot be made."_s;
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return u"The Internet connection appears to be offline."_s;
    default:
        return reply.errorString();
    }
}

bool DataAwaiter::await_ready() const {
    return !m_reply || m_reply->bytesAvailable() > 0 || m_reply->isFinished();
}

void DataAwaiter::await_suspend(std::coroutine_handle<> handle) {
    // Resumed from the event loop rather than inside the reply's signal, so the
    // coroutine may abort or release the reply without re-entering Qt's
    // network code while it is still emitting.
    auto resume = [this, handle] {
        if (m_connections.isEmpty()) {
            return;
        }
        for (const auto& connection : std::as_const(m_connections)) {
            QObject::disconnect(connection);
        }
        m_connections.clear();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [handle] { handle.resume(); }, Qt::QueuedConnection);
    };
    m_connections.append(QObject::connect(m_reply, &QNetworkReply::readyRead, m_reply, resume));
    m_connections.append(QObject::connect(m_reply, &QNetworkReply::finished, m_reply, resume));
    // The response head alone (a failing status with a late body) also wakes.
    m_connections.append(
        QObject::connect(m_reply, &QNetworkReply::metaDataChanged, m_reply, resume));
    m_connections.append(QObject::connect(m_reply, &QObject::destroyed, resume));
}

QCoro::Task<HttpResponse> send(HttpRequest request, CancelHandle cancel) {
    HttpResponse response;
    if (cancel && cancel->isCancelled()) {
        response.cancelled = true;
        response.transportError = u"cancelled"_s;
        co_return response;
    }
    QPointer<QNetworkReply> reply = open(request, cancel);
    co_await qCoro(reply.get()).waitForFinished();
    if (!reply) {
        response.transportError = u"cancelled"_s;
        response.cancelled = true;
        co_return response;
    }
    reply->deleteLater();
    const bool cancelled = cancel && cancel->isCancelled();
    if (cancelled || isTransportFailure(*reply)) {
        response.cancelled = cancelled;
        response.transportError = transportErrorText(*reply, cancelled);
        co_return response;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    response.status = status.isValid() ? status.toInt() : 0;
    response.body = reply->readAll();
    co_return response;
}

} // namespace tolvane
