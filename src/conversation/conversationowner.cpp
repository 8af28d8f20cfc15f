#include "conversation/conversationowner.h"

#include "conversation/transcriptfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace tolvane {

namespace {
constexpr int connectTimeoutMs = 1000;
const QByteArray activate = QByteArrayLiteral("activate\n");
} // namespace

ConversationOwner::ConversationOwner(const QString& directory, QObject* parent)
    : QObject(parent) {
    const QString folder =
        QDir(directory.isEmpty() ? transcript::defaultDirectory() : directory).absolutePath();
    const QByteArray hash =
        QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    m_name = QStringLiteral("tolvane-") + QString::fromLatin1(hash);
}

ConversationOwner::~ConversationOwner() = default;

bool ConversationOwner::reachOwner(bool askToActivate) const {
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(connectTimeoutMs)) {
        return false;
    }
    if (askToActivate) {
        socket.write(activate);
        socket.waitForBytesWritten(connectTimeoutMs);
    }
    socket.disconnectFromServer();
    return true;
}

bool ConversationOwner::isClaimedElsewhere() const {
    return !m_server && reachOwner(false);
}

bool ConversationOwner::claim() {
    if (m_server) {
        return true;
    }
    if (reachOwner(true)) {
        return false;
    }
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_name)) {
        // Nobody answered, so the socket file is left over from a process
        // that ended without closing it.
        QLocalServer::removeServer(m_name);
        if (!server->listen(m_name)) {
            delete server;
            // Without the socket nothing can be coordinated; carrying on
            // alone beats refusing to start.
            return true;
        }
    }
    connect(server, &QLocalServer::newConnection, this, [this, server] {
        while (QLocalSocket* peer = server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->readAll().contains(activate.trimmed())) {
                    Q_EMIT activationRequested();
                }
            });
        }
    });
    m_server = server;
    return true;
}

} // namespace tolvane
