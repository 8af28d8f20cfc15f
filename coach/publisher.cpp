#include "publisher.h"

#include "common/iso8601.h"
#include "store.h"
#include "textcut.h"

#include <QLoggingCategory>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

Q_LOGGING_CATEGORY(lcPublish, "tolvane.coach.publish", QtInfoMsg)

Publisher::Publisher(Store& store, QString root, int intervalMs, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_root(std::move(root)) {
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this,
            [this] { publishDue(QDateTime::currentDateTimeUtc()); });
    m_timer.start();
}

int Publisher::publishDue(const QDateTime& now) {
    int count = 0;
    for (const Draft& d : m_store.dueDrafts(now)) {
        if (!m_store.publishDraft(d.token, d.text, now)) {
            continue;
        }
        ++count;
        const QString hook = textcut::elide(d.text.section(QLatin1Char('\n'), 0, 0).trimmed(), 80);
        QString text = u"Your scheduled post “%1” is live now."_s.arg(hook);
        // A post whose time passed while the coach was not running goes out late;
        // say so rather than pretend it went out on time.
        if (d.scheduledAt.secsTo(now) > 120) {
            text += u" It was due at %1 UTC, while I wasn't running, so it went out "
                    "late."_s.arg(d.scheduledAt.toUTC().toString(u"yyyy-MM-dd HH:mm"_s));
        }
        text += u"\n\nGo here to edit the post: "_s + m_root + u"edit/"_s + d.token;
        m_store.addNotification(d.userID, text);
        qCInfo(lcPublish) << "published" << d.token << "due"
                          << iso8601::formatWithMilliseconds(d.scheduledAt);
        Q_EMIT notificationAdded(d.userID);
    }
    return count;
}

} // namespace tolvane::coach
