#include "platform/mediaerror.h"

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {
const QString cancelledDomain = u"Cancelled"_s;
}

MediaError MediaError::cancelled() {
    return MediaError{cancelledDomain, 1, QString()};
}

bool MediaError::isCancelled() const {
    return domain == cancelledDomain;
}

} // namespace tolvane
