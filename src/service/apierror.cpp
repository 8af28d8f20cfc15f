#include "apierror.h"

using namespace Qt::StringLiterals;

namespace tolvane {

QString APIError::description() const {
    switch (kind) {
    case Kind::http:
        return u"Server error "_s + QString::number(code) + u": "_s + message;
    case Kind::decoding:
        return u"Could not read the server response: "_s + message;
    case Kind::transport:
        return u"Can't reach the server: "_s + message;
    case Kind::badURL:
        return u"The server URL is invalid. Check Settings."_s;
    case Kind::session:
    case Kind::file:
        return message;
    }
    return message;
}

} // namespace tolvane
