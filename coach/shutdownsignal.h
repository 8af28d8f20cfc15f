#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace tolvane::coach {

// Turns SIGTERM and SIGINT into a clean quit of the event loop, so the store
// closes and the log says why the coach stopped. The handler only writes to a
// pipe; the event loop reads it.
class ShutdownSignal : public QObject {
    Q_OBJECT
public:
    explicit ShutdownSignal(QObject* parent = nullptr);
    ~ShutdownSignal() override;

Q_SIGNALS:
    void received(int signal);

private:
    static void handle(int signal);
    static int s_pipe[2];
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace tolvane::coach
