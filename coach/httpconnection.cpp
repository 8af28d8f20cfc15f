#include "httpconnection.h"

#include "httpresponder.h"

#include <QElapsedTimer>
#include <QLoggingCategory>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

Q_LOGGING_CATEGORY(lcHttp, "tolvane.coach.http", QtInfoMsg)

namespace {
qint64 idleClock() {
    static QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    // Never 0, which stands for "not idle".
    return clock.elapsed() + 1;
}
} // namespace

HttpConnection::HttpConnection(QTcpSocket* socket, HttpRequestParser::Limits limits,
                               Timeouts timeouts, Handler handler, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
    , m_parser(std::move(limits))
    , m_timeouts(timeouts)
    , m_handler(std::move(handler)) {
    m_socket->setParent(this);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &HttpConnection::onTimeout);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnection::process);
    connect(m_socket, &QTcpSocket::disconnected, this, &HttpConnection::onDisconnected);
    armTimer();
    process();
}

void HttpConnection::armTimer() {
    if (m_current || m_closing) {
        m_timer.stop();
        return;
    }
    if (m_parser.inBody()) {
        m_timer.start(m_timeouts.bodyIdleMs);
    } else if (m_headStarted) {
        // The head deadline runs from its first byte and is not extended by
        // trickling bytes.
        if (!m_timer.isActive()) {
            m_timer.start(m_timeouts.headMs);
        }
    } else {
        if (m_idleSince == 0) {
            m_idleSince = idleClock();
        }
        m_timer.start(m_timeouts.idleMs);
    }
}

bool HttpConnection::isIdle() const {
    return !m_current && !m_closing && !m_headStarted && !m_parser.inBody() && m_buffer.isEmpty() &&
           m_socket->bytesAvailable() == 0;
}

void HttpConnection::closeIdle() {
    m_closing = true;
    m_timer.stop();
    m_socket->disconnectFromHost();
}

bool HttpConnection::send(const QByteArray& data) {
    if (m_closing || m_socket->state() != QAbstractSocket::ConnectedState) {
        return false;
    }
    if (m_socket->bytesToWrite() > maxPendingWrite) {
        qCInfo(lcHttp) << "dropping a client that stopped reading";
        m_closing = true;
        m_socket->abort();
        return false;
    }
    return m_socket->write(data) == data.size();
}

void HttpConnection::sendAndFinish(HttpResponder* responder, const QByteArray& data,
                                   bool keepAlive) {
    send(data);
    if (m_current == responder) {
        m_current = nullptr;
    }
    responder->deleteLater();
    if (!keepAlive) {
        m_closing = true;
        m_timer.stop();
        m_socket->disconnectFromHost();
        return;
    }
    armTimer();
    if (!m_processing) {
        QMetaObject::invokeMethod(this, &HttpConnection::process, Qt::QueuedConnection);
    }
}

void HttpConnection::failRequest(int status, const QString& message) {
    auto* responder = new HttpResponder(this, false, false);
    m_current = responder;
    responder->respondError(status, message);
}

void HttpConnection::process() {
    if (m_processing) {
        return;
    }
    m_processing = true;
    while (!m_closing && !m_current) {
        // Read only between responses so pipelined requests wait their turn
        // in the socket instead of in memory.
        if (m_socket->bytesAvailable() > 0) {
            m_buffer += m_socket->readAll();
        }
        if (m_buffer.isEmpty()) {
            break;
        }
        if (!m_parser.inBody() && !m_headStarted) {
            m_headStarted = true;
            m_idleSince = 0;
            m_timer.stop();
        }
        const auto status = m_parser.feed(m_buffer);
        if (status == HttpRequestParser::Status::Error) {
            qCInfo(lcHttp) << "rejecting request:" << m_parser.errorStatus()
                           << m_parser.errorMessage();
            failRequest(m_parser.errorStatus(), m_parser.errorMessage());
            break;
        }
        if (status == HttpRequestParser::Status::HeadersDone) {
            m_timer.stop();
            if (m_parser.expectsContinue()) {
                send("HTTP/1.1 100 Continue\r\n\r\n");
            }
            continue;
        }
        if (status == HttpRequestParser::Status::NeedMore) {
            // The parser took what it could; wait for the socket to bring more.
            if (m_socket->bytesAvailable() == 0) {
                break;
            }
            continue;
        }
        HttpRequest request = m_parser.takeRequest();
        m_headStarted = false;
        m_timer.stop();
        request.peer = m_socket->peerAddress();
        auto* responder = new HttpResponder(this, request.keepAlive(), request.isHttp10());
        m_current = responder;
        m_handler(request, responder);
    }
    m_processing = false;
    armTimer();
}

void HttpConnection::onTimeout() {
    if (m_current || m_closing) {
        return;
    }
    if (m_headStarted || m_parser.inBody()) {
        failRequest(408, u"request not received in time"_s);
        return;
    }
    m_closing = true;
    m_socket->disconnectFromHost();
}

void HttpConnection::onDisconnected() {
    m_closing = true;
    m_timer.stop();
    if (m_current) {
        m_current->clientGone();
    }
    Q_EMIT closed();
    deleteLater();
}

} // namespace tolvane::coach
