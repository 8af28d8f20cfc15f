#include "platform/mediaerror.h"

namespace tolvane {

namespace {
const QString cancelledDomain = QStringLiteral("Cancelled");
}

MediaError MediaError::cancelled() {
    return MediaError{cancelledDomain, 1, QString()};
}

bool MediaError::isCancelled() const {
    return domain == cancelledDomain;
}

} // namespace tolvane
