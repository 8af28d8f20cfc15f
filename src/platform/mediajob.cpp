#include "platform/mediajob.h"

#include <QThreadPool>

namespace tolvane::detail {

QThreadPool& mediaJobPool() {
    static QThreadPool pool;
    static const bool configured = [] {
        pool.setMaxThreadCount(8);
        // Idle threads go soon: jobs are rare and long.
        pool.setExpiryTimeout(5000);
        return true;
    }();
    Q_UNUSED(configured);
    return pool;
}

} // namespace tolvane::detail
