#include "conversation/conversationowner.h"

#include "conversation/transcriptfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

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

// Longer than any live claimer takes between creating the lock file and
// writing its process id into it (two system calls).
constexpr std::chrono::milliseconds abandonedAfter{750};

// The lock file is created empty and filled a moment later. A claimer killed
// in between leaves an empty file that QLockFile never takes for stale (it
// names no process to look for), which would keep every later launch out for
// good. Such a file is removed when nobody holds its native lock and it has
// stayed empty for longer than a live claimer needs. True when it is gone.
bool removeAbandonedEmptyLock(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT;
    }
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat opened {};
    // A live claimer holds the native lock from right after creating the file.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &opened) != 0 || opened.st_size != 0) {
        return false;
    }
    using namespace std::chrono;
    const auto modified = seconds(opened.st_mtim.tv_sec) + nanoseconds(opened.st_mtim.tv_nsec);
    const auto age = duration_cast<milliseconds>(system_clock::now().time_since_epoch() - modified);
    // Bounded, so a modification time in the future can't stall the claim.
    const auto rest = std::clamp(abandonedAfter - age, milliseconds::zero(), abandonedAfter);
    QThread::msleep(static_cast<unsigned long>(rest.count()));
    // Holding the native lock keeps a claimer that starts now from finishing
    // unseen; whatever it wrote shows here.
    struct stat now {};
    if (::fstat(fd, &now) != 0 || now.st_size != 0 || ::stat(name.constData(), &now) != 0 ||
        now.st_ino != opened.st_ino || now.st_dev != opened.st_dev) {
        return false;
    }
    return ::unlink(name.constData()) == 0;
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
    bool locked = lock->tryLock(0);
    if (!locked && lock->error() == QLockFile::LockFailedError && !holder() &&
        removeAbandonedEmptyLock(m_lockPath)) {
        locked = lock->tryLock(0);
    }
    if (locked) {
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
