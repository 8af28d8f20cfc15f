#include "serverstatus.h"

#include "coachlogfile.h"

using namespace Qt::StringLiterals;

namespace tolvane {

ServerStatus ServerStatus::portConflict(QString holder) {
    return ServerStatus(Case::portConflict, std::move(holder));
}

ServerStatus ServerStatus::configMismatch(QString message) {
    return ServerStatus(Case::configMismatch, std::move(message));
}

ServerStatus ServerStatus::failed(QString message) {
    return ServerStatus(Case::failed, std::move(message));
}

std::optional<QString> ServerStatus::text() const {
    switch (m_case) {
    case Case::notManaged:
        return std::nullopt;
    case Case::probing:
        return u"Checking local server…"_s;
    case Case::external:
        // The service's own wording, kept exactly on every platform.
        return u"Using the dev server already running (Air)."_s;
    case Case::starting:
        return u"Starting local server…"_s;
    case Case::managed:
        return u"Local server launched by the app. Log: "_s + CoachLogFile::displayPath();
    case Case::binaryMissing:
        return u"No server binary found — run `scripts/build.sh` in the repo once."_s;
    case Case::portConflict:
        return u"Port %1 is taken by another process: %2. Quit it or change HTTP_ADDR."_s.arg(
            QString::number(defaultPort), m_payload);
    case Case::configMismatch:
    case Case::failed:
        return m_payload;
    }
    return std::nullopt;
}

bool ServerStatus::isRunning() const {
    return m_case == Case::notManaged || m_case == Case::external || m_case == Case::managed;
}

bool ServerStatus::showsBanner() const {
    return m_case == Case::portConflict || m_case == Case::configMismatch ||
           m_case == Case::failed || m_case == Case::binaryMissing;
}

bool operator==(const ServerStatus& a, const ServerStatus& b) {
    if (a.m_case != b.m_case) {
        return false;
    }
    switch (a.m_case) {
    case ServerStatus::Case::portConflict:
    case ServerStatus::Case::configMismatch:
    case ServerStatus::Case::failed:
        return a.m_payload == b.m_payload;
    default:
        return true;
    }
}

} // namespace tolvane
