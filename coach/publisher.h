#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

namespace tolvane::coach {

class Store;

// Publishes scheduled posts when their time comes and leaves the user a
// notification about each one.
class Publisher : public QObject {
    Q_OBJECT
public:
    Publisher(Store& store, QString root, int intervalMs, QObject* parent = nullptr);

    // Publishes every post due at now; returns how many.
    int publishDue(const QDateTime& now);

Q_SIGNALS:
    void notificationAdded(qint64 userID);

private:
    Store& m_store;
    QString m_root;
    QTimer m_timer;
};

} // namespace tolvane::coach
