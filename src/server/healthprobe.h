#pragma once

#include <QByteArray>
#include <QString>

#include <qcoro/qcorotask.h>

#include <chrono>

namespace tolvane {

// What answered on the coach's port.
struct HealthAnswer {
    enum class Kind {
        // Nothing listens: the port is free for a coach of our own.
        nobody,
        // A local coach service; `protocol` says which wire it speaks.
        coach,
        // Something else accepted the connection (another program, or one
        // that does not answer in time).
        other,
    };
    Kind kind = Kind::nobody;
    int protocol = 0;
    QString version;
};

// Asks the local coach service's health endpoint who is there.
class HealthProbe {
public:
    // The wire version this build of the app speaks.
    static constexpr int protocol = 1;

    // Reads a health reply: a coach answers 200 with
    // {"service": "tolvane-coach", "protocol": N, ...}.
    static HealthAnswer classify(int httpStatus, const QByteArray& body);

    // GET http://host:port/health, given up after `timeout`.
    static QCoro::Task<HealthAnswer> probe(QString host, quint16 port,
                                           std::chrono::milliseconds timeout);
};

} // namespace tolvane
