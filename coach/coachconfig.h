#pragma once

#include "coachservice.h"

#include <QProcessEnvironment>
#include <QStringList>

namespace tolvane::coach {

// Reads the coach's command line and environment: HTTP_ADDR (host:port, port 0
// picks a free one), --db / TOLVANE_COACH_DB, --log / TOLVANE_COACH_LOG.
class CoachConfig {
public:
    CoachService::Options service;
    QString logPath; // empty: stderr only
    QString error;   // set when the arguments are unusable
    bool help = false;
    QString helpText;

    static CoachConfig fromArguments(const QStringList& arguments,
                                     const QProcessEnvironment& environment);
    // host:port with a loopback host; false for anything else.
    static bool parseAddress(const QString& text, QHostAddress* address, quint16* port);
};

} // namespace tolvane::coach
