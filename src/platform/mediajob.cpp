#include "platform/mediajob.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

namespace tolvane::detail {

QThreadPool& mediaJobPool() {
    // Owned by the application, which waits for its threads as it goes; a
    // static pool would outlive the application's thread storage.
    static QPointer<QThreadPool> pool;
    if (!pool) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(8);
        // Idle threads go soon: jobs are rare and long.
        pool->setExpiryTimeout(5000);
    }
    return *pool;
}

} // namespace tolvane::detail
