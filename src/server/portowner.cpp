#include "portowner.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <dirent.h>
#include <unistd.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

constexpr int localAddressField = 1;
constexpr int stateField = 3;
constexpr int inodeField = 9;
constexpr QByteArrayView listenState = "0A";

QByteArray readProcFile(const QString& path) {
    // Files under /proc report a size of 0; read until the end instead.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

// The target of a symbolic link as the kernel wrote it; QFile would make
// "socket:[N]" an absolute path.
QByteArray linkTarget(const QByteArray& path) {
    char buffer[512];
    const ssize_t length = ::readlink(path.constData(), buffer, sizeof buffer);
    return length <= 0 ? QByteArray() : QByteArray(buffer, length);
}

// Names of a directory's entries, without "." and "..".
QList<QByteArray> entries(const QByteArray& path) {
    QList<QByteArray> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.constData()), ::closedir);
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..") {
            names.append(name);
        }
    }
    return names;
}

QString processName(const QString& pid) {
    const QString procDir = u"/proc/"_s + pid;
    QString exe = QFile::symLinkTarget(procDir + u"/exe"_s);
    exe.remove(u" (deleted)"_s);
    if (!exe.isEmpty()) {
        return QFileInfo(exe).fileName();
    }
    // The kernel cuts this one to 15 characters; only a fallback.
    return QString::fromUtf8(readProcFile(procDir + u"/comm"_s).trimmed());
}

} // namespace

QList<quint64> PortOwner::listeningInodes(const QByteArray& table, quint16 port) {
    QList<quint64> inodes;
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) { // the first line is the header
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() <= inodeField || fields[stateField] != listenState) {
            continue;
        }
        const QByteArray& local = fields[localAddressField];
        const qsizetype colon = local.lastIndexOf(':');
        bool portOk = false;
        const uint localPort = colon < 0 ? 0 : local.mid(colon + 1).toUInt(&portOk, 16);
        bool inodeOk = false;
        const quint64 inode = fields[inodeField].toULongLong(&inodeOk);
        if (portOk && inodeOk && localPort == port && inode != 0) {
            inodes.append(inode);
        }
    }
    return inodes;
}

QString PortOwner::describe(quint16 port) {
    QSet<QByteArray> targets;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        const auto inodes = listeningInodes(readProcFile(QString::fromLatin1(table)), port);
        for (const quint64 inode : inodes) {
            targets.insert("socket:[" + QByteArray::number(inode) + ']');
        }
    }
    if (targets.isEmpty()) {
        return u"an unknown process"_s;
    }
    const QList<QByteArray> pids = entries("/proc");
    for (const QByteArray& pid : pids) {
        bool numeric = false;
        pid.toULongLong(&numeric);
        if (!numeric) {
            continue;
        }
        const QByteArray fdDir = "/proc/" + pid + "/fd/";
        const QList<QByteArray> fds = entries(fdDir);
        for (const QByteArray& fd : fds) {
            if (targets.contains(linkTarget(fdDir + fd))) {
                const QString name = processName(QString::fromLatin1(pid));
                return name.isEmpty() ? u"pid %1"_s.arg(QString::fromLatin1(pid))
                                      : u"%1 (pid %2)"_s.arg(name, QString::fromLatin1(pid));
            }
        }
    }
    return u"an unknown process"_s;
}

} // namespace tolvane
