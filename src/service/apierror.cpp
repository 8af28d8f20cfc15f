#include "apierror.h"

namespace tolvane {

QString APIError::description() const {
    switch (kind) {
    case Kind::http:
        return QStringLiteral("Server error ") + QString::number(code) + QStringLiteral(": ") +
               message;
    case Kind::decoding:
        return QStringLiteral("Could not read the server response: ") + message;
    case Kind::transport:
        return QStringLiteral("Can't reach the server: ") + message;
    case Kind::badURL:
        return QStringLiteral("The server URL is invalid. Check Settings.");
    case Kind::session:
    case Kind::file:
        return message;
    }
    return message;
}

} // namespace tolvane
