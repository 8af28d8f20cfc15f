#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <initializer_list>
#include <memory>

namespace tolvane {

// Turns termination signals into a Qt signal on the event loop, so a process
// can quit cleanly (stores closed, files flushed, children stopped). The
// handler only writes the signal number to a pipe that the event loop reads.
// One instance per process; the signals get their default action back when it
// is destroyed.
class ShutdownSignal : public QObject {
    Q_OBJECT
public:
    explicit ShutdownSignal(std::initializer_list<int> signals, QObject* parent = nullptr);
    ~ShutdownSignal() override;

Q_SIGNALS:
    void received(int signal);

private:
    static void handle(int signal);
    static int s_pipe[2];
    QList<int> m_signals;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace tolvane
