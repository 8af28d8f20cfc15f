#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace tolvane {

// Finds the process that listens on a local TCP port, so a port conflict can
// name what to quit. Reads the kernel's socket tables and each process's open
// files under /proc; processes of other users cannot be inspected and stay
// unnamed.
class PortOwner {
public:
    // The socket inodes in LISTEN state on `port` in one table in the format
    // of /proc/net/tcp or /proc/net/tcp6.
    static QList<quint64> listeningInodes(const QByteArray& table, quint16 port);

    // "name (pid N)" of a process listening on `port`, or "an unknown process".
    // Walks /proc, so it belongs off the main thread.
    static QString describe(quint16 port);
};

} // namespace tolvane
