#include "conversation/conversationowner.h"

#include "conversation/transcriptfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {
constexpr int connectTimeoutMs = 1000;
const QByteArray activate = QByteArrayLiteral("activate");

std::unique_ptr<QLockFile> makeLock(const QString& path) {
    auto lock = std::make_unique<QLockFile>(path);
    // The owner holds the lock for hours; only a dead owner makes it stale.
    lock->setStaleLockTime(0);
    return lock;
}
} // namespace

ConversationOwner::ConversationOwner(const QString& directory, QObject* parent)
    : QObject(parent) {
    const QString folder =
        QDir(directory.isEmpty() ? transcript::defaultDirectory() : directory).absolutePath();
    m_lockPath = QDir(folder).filePath(u"conversation.lock"_s);
    const QByteArray hash =
        QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    // The per-user runtime folder, so no other user can take the name.
    m_socketPath = QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation))
                       .filePath(u"tolvane-"_s + QString::fromLatin1(hash));
}

ConversationOwner::~ConversationOwner() {
    // The socket goes before the lock, so a launch that finds the folder free
    // never finds the old owner's socket.
    delete m_server;
    m_server = nullptr;
}

bool ConversationOwner::claim() {
    if (m_lock) {
        return true;
    }
    QDir().mkpath(QFileInfo(m_lockPath).absolutePath());
    auto lock = makeLock(m_lockPath);
    if (lock->tryLock(0)) {
        m_lock = std::move(lock);
        // No other writer can be mid-save now: a temporary file beside a
        // conversation file is a killed writer's.
        transcript::removeLeftovers(QFileInfo(m_lockPath).absolutePath());
        return true;
    }
    // A folder where no lock can be written at all can't be coordinated;
    // carrying on alone beats refusing to start.
    return lock->error() != QLockFile::LockFailedError;
}

std::optional<ConversationOwner::Holder> ConversationOwner::holder() const {
    qint64 pid = 0;
    QString host;
    QString application;
    if (!makeLock(m_lockPath)->getLockInfo(&pid, &host, &application) || pid <= 0) {
        return std::nullopt;
    }
    // The lock names the application ("Tolvane" for the app and the tool
    // alike); the process's own name tells them apart.
    QFile comm(u"/proc/%1/comm"_s.arg(pid));
    QString program;
    if (comm.open(QIODevice::ReadOnly)) {
        program = QString::fromLocal8Bit(comm.readAll()).trimmed();
    }
    return Holder{pid, program};
}

void ConversationOwner::listenForActivation() {
    if (m_server || !m_lock) {
        return;
    }
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock makes any socket at this path a dead owner's.
    QLocalServer::removeServer(m_socketPath);
    if (!server->listen(m_socketPath)) {
        delete server;
        return;
    }
    connect(server, &QLocalServer::newConnection, this, [this, server] {
        while (QLocalSocket* peer = server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->readAll().contains(activate)) {
                    Q_EMIT activationRequested();
                }
            });
        }
    });
    m_server = server;
}

bool ConversationOwner::askOwnerToShow() const {
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(connectTimeoutMs)) {
        return false;
    }
    socket.write(activate + '\n');
    socket.waitForBytesWritten(connectTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

} // namespace tolvane
