#pragma once

#include "serverstatus.h"

#include "service/httptransport.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <memory>
#include <optional>

namespace tolvane {

// The state of the local coach service and, when the app's service root is a
// loopback http address, its keeper: it looks for a coach on that port, starts
// `tolvane-coach` from beside the app when none runs, appends the child's
// output to the coach log, restarts it when it dies and gives up after three
// exits within a minute. With any other root it only holds a status, which
// stays `notManaged` after start(). Lives on the main thread.
class ServerManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(tolvane::ServerStatus status READ status WRITE setStatus NOTIFY statusChanged)
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY statusChanged)
    Q_PROPERTY(bool showsBanner READ showsBanner NOTIFY statusChanged)
public:
    using Status = ServerStatus;

    // How stopChild() ended the child.
    enum class StopOutcome {
        noChild,
        // It had ended already.
        alreadyEnded,
        // It ended after the termination request.
        terminated,
        // It ignored the request for the whole grace period and was killed.
        killed,
    };

    // Exits within this window count towards giving up.
    static constexpr std::chrono::seconds exitWindow{60};
    static constexpr int exitsBeforeGivingUp = 3;

    explicit ServerManager(QString serviceRoot, QObject* parent = nullptr);
    ~ServerManager() override;

    Status status() const { return m_status; }
    // Publishes only a status that differs from the current one.
    void setStatus(const Status& status);
    std::optional<QString> statusText() const { return m_status.text(); }
    bool isRunning() const { return m_status.isRunning(); }
    bool showsBanner() const { return m_status.showsBanner(); }
    // When the child ended by itself, oldest first; only the last minute.
    const QList<QDateTime>& recentExits() const { return m_recentExits; }

    // Whether the root is a loopback http address, so that a local coach is
    // looked after; and where it listens ("127.0.0.1:20511").
    bool managesLocalCoach() const { return m_port != 0; }
    QString coachAddress() const;

    // At start: looks for (and if need be starts) the local coach, or settles
    // on `notManaged` for any other root. Returns at once. A coach found
    // running is checked on every few seconds; when it goes away the app
    // starts its own.
    void start();
    // The Retry action: nothing while `notManaged`; otherwise ends the child,
    // forgets earlier exits and looks again from `probing`.
    void restart();
    // Ends the child process: a termination request, up to 30 checks 100 ms
    // apart, then SIGKILL. Its end is not counted as an exit. Blocks for up to
    // about 3 seconds, so it belongs to user actions and to quitting only.
    StopOutcome stopChild();

    // Makes a started process the child: its unrequested end is recorded in
    // recentExits and, for a local coach, restarts it.
    void adoptChild(std::unique_ptr<QProcess> process);
    bool hasChild() const { return m_child != nullptr; }
    qint64 childProcessId() const;

    // The coach program; `tolvane-coach` beside the app's executable unless set.
    QString coachProgram() const { return m_coachProgram; }
    void setCoachProgram(QString path) { m_coachProgram = std::move(path); }

Q_SIGNALS:
    void statusChanged();

private:
    void beginRun(std::chrono::milliseconds delay);
    QCoro::Task<void> run(CancelHandle cancel, std::chrono::milliseconds delay);
    bool launchChild();
    void onChildFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onChildError(QProcess::ProcessError error);
    // Ends the child without waiting for it: for paths that must not block.
    void releaseChild();
    void quit();

    QString m_host;
    quint16 m_port = 0;
    QString m_coachProgram;
    Status m_status = Status::probing();
    std::unique_ptr<QProcess> m_child;
    CancelHandle m_run;
    bool m_quitting = false;
    QList<QDateTime> m_recentExits;
};

} // namespace tolvane
