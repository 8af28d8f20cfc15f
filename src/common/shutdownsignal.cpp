#include "shutdownsignal.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tolvane {

int ShutdownSignal::s_pipe[2] = {-1, -1};

ShutdownSignal::ShutdownSignal(std::initializer_list<int> signals, QObject* parent)
    : QObject(parent)
    , m_signals(signals) {
    if (::pipe2(s_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(s_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        unsigned char signal = 0;
        while (::read(s_pipe[0], &signal, 1) == 1) {
            Q_EMIT received(signal);
        }
    });
    struct sigaction action = {};
    action.sa_handler = &ShutdownSignal::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : m_signals) {
        ::sigaction(signal, &action, nullptr);
    }
}

ShutdownSignal::~ShutdownSignal() {
    for (const int signal : m_signals) {
        std::signal(signal, SIG_DFL);
    }
    m_notifier.reset();
    if (s_pipe[0] >= 0) {
        ::close(s_pipe[0]);
        ::close(s_pipe[1]);
        s_pipe[0] = s_pipe[1] = -1;
    }
}

void ShutdownSignal::handle(int signal) {
    // Only async-signal-safe work here.
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const auto written = ::write(s_pipe[1], &byte, 1);
}

} // namespace tolvane
