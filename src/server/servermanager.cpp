#include "servermanager.h"

#include "coachlogfile.h"
#include "healthprobe.h"
#include "portowner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QHostAddress>
#include <QPointer>
#include <QPromise>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <qcoro/qcorofuture.h>

#include <signal.h>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

using namespace std::chrono_literals;

// A coach that is there answers at once; a silent listener is something else.
constexpr auto probeTimeout = 2s;
// How often a starting child is asked whether it is ready, and for how long.
constexpr auto readyPollInterval = 200ms;
constexpr auto readyTimeout = 20s;
// How often a coach that is not ours is checked on.
constexpr auto externalCheckInterval = 5s;
// The pause before a dead child is started again.
constexpr auto restartDelay = 500ms;
// stopChild()'s grace period: checks, and the pause after each that finds the
// child still running.
constexpr int stopChecks = 30;
constexpr int stopCheckIntervalMs = 100;

QString logHint() {
    return u"Log: "_s + CoachLogFile::displayPath();
}

// Which process holds the port, found off the main thread: it walks /proc.
QFuture<QString> describePortOwner(quint16 port) {
    auto promise = std::make_shared<QPromise<QString>>();
    QFuture<QString> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, port] {
        promise->addResult(PortOwner::describe(port));
        promise->finish();
    });
    return future;
}

// Opens the log for appending and marks where this launch begins; false when
// the file can't be written, in which case the child's output is discarded.
bool prepareLog(const QString& program, const QString& address) {
    const QString path = CoachLogFile::path();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return false;
    }
    const QString line = u"--- %1 Tolvane starts %2 on %3\n"_s.arg(
        QDateTime::currentDateTimeUtc().toString(Qt::ISODate), program, address);
    return file.write(line.toUtf8()) > 0;
}

} // namespace

ServerManager::ServerManager(QString serviceRoot, QObject* parent)
    : QObject(parent) {
    // Only a plain-http loopback root can be a coach of this machine's own;
    // the coach speaks no TLS.
    const QUrl root(serviceRoot.trimmed());
    const QString host = root.host();
    const bool localhost = host.compare("localhost"_L1, Qt::CaseInsensitive) == 0;
    if (root.scheme() == "http"_L1 && (localhost || QHostAddress(host).isLoopback())) {
        m_host = localhost ? u"127.0.0.1"_s : host;
        m_port = quint16(root.port(80));
    }
    if (QCoreApplication::instance()) {
        m_coachProgram = QCoreApplication::applicationDirPath() + u"/tolvane-coach"_s;
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                &ServerManager::quit);
    }
}

ServerManager::~ServerManager() {
    quit();
}

void ServerManager::setStatus(const Status& status) {
    if (status == m_status) {
        return;
    }
    m_status = status;
    Q_EMIT statusChanged();
}

QString ServerManager::coachAddress() const {
    if (!managesLocalCoach()) {
        return {};
    }
    const bool ipv6 = m_host.contains(QLatin1Char(':'));
    return (ipv6 ? QLatin1Char('[') + m_host + QLatin1Char(']') : m_host) + QLatin1Char(':') +
           QString::number(m_port);
}

void ServerManager::start() {
    if (!managesLocalCoach()) {
        setStatus(Status::notManaged());
        return;
    }
    // Probing now would find our own child and call it someone else's.
    if (m_child) {
        return;
    }
    beginRun(0ms);
}

void ServerManager::restart() {
    if (m_status.kind() == Status::Case::notManaged) {
        return;
    }
    stopChild();
    m_recentExits.clear();
    setStatus(Status::probing());
    if (managesLocalCoach()) {
        beginRun(0ms);
    }
}

ServerManager::StopOutcome ServerManager::stopChild() {
    if (!m_child) {
        return StopOutcome::noChild;
    }
    const std::unique_ptr<QProcess> child = std::move(m_child);
    // An end we asked for is not an exit for the watchdog.
    disconnect(child.get(), nullptr, this, nullptr);
    if (child->state() == QProcess::Starting) {
        child->waitForStarted(stopCheckIntervalMs);
    }
    if (child->state() == QProcess::NotRunning) {
        return StopOutcome::alreadyEnded;
    }
    const qint64 pid = child->processId();
    child->terminate();
    for (int check = 0; check < stopChecks; ++check) {
        if (child->state() == QProcess::NotRunning) {
            return StopOutcome::terminated;
        }
        child->waitForFinished(stopCheckIntervalMs);
    }
    if (child->state() == QProcess::NotRunning) {
        return StopOutcome::terminated;
    }
    ::kill(pid_t(pid), SIGKILL);
    // Reaps it, so no zombie is left behind.
    child->waitForFinished(stopChecks * stopCheckIntervalMs);
    return StopOutcome::killed;
}

void ServerManager::adoptChild(std::unique_ptr<QProcess> process) {
    if (m_child) {
        releaseChild();
    }
    m_child = std::move(process);
    connect(m_child.get(), &QProcess::finished, this, &ServerManager::onChildFinished);
    connect(m_child.get(), &QProcess::errorOccurred, this, &ServerManager::onChildError);
}

qint64 ServerManager::childProcessId() const {
    return m_child ? m_child->processId() : 0;
}

void ServerManager::beginRun(std::chrono::milliseconds delay) {
    if (m_run) {
        m_run->cancel();
    }
    m_run = CancelToken::create();
    run(m_run, delay);
}

QCoro::Task<void> ServerManager::run(CancelHandle cancel, std::chrono::milliseconds delay) {
    QPointer<ServerManager> self(this);
    if (delay > 0ms) {
        co_await CancellableSleep(delay, cancel);
        if (!self || cancel->isCancelled()) {
            co_return;
        }
    }
    setStatus(Status::probing());
    const QString host = m_host;
    const quint16 port = m_port;
    const HealthAnswer found = co_await HealthProbe::probe(host, port, probeTimeout);
    if (!self || cancel->isCancelled()) {
        co_return;
    }
    switch (found.kind) {
    case HealthAnswer::Kind::coach:
        if (found.protocol == HealthProbe::protocol) {
            setStatus(Status::external());
        } else {
            setStatus(Status::configMismatch(
                u"The coach service on %1 speaks protocol %2, but this build of "
                "Tolvane needs protocol %3. Quit it, or build both from the same "
                "checkout."_s.arg(coachAddress(), QString::number(found.protocol),
                                  QString::number(HealthProbe::protocol))));
            co_return;
        }
        // Someone else's coach: keep an eye on it, so that the app starts its
        // own when that one goes away.
        for (;;) {
            co_await CancellableSleep(externalCheckInterval, cancel);
            if (!self || cancel->isCancelled()) {
                co_return;
            }
            const HealthAnswer still = co_await HealthProbe::probe(host, port, probeTimeout);
            if (!self || cancel->isCancelled()) {
                co_return;
            }
            if (still.kind != HealthAnswer::Kind::coach ||
                still.protocol != HealthProbe::protocol) {
                beginRun(0ms);
                co_return;
            }
        }
    case HealthAnswer::Kind::other: {
        const QString holder = co_await describePortOwner(port);
        if (!self || cancel->isCancelled()) {
            co_return;
        }
        setStatus(Status::portConflict(holder));
        co_return;
    }
    case HealthAnswer::Kind::nobody:
        break;
    }

    const QFileInfo program(m_coachProgram);
    if (m_coachProgram.isEmpty() || !program.isFile() || !program.isExecutable()) {
        setStatus(Status::binaryMissing());
        co_return;
    }
    setStatus(Status::starting());
    if (!launchChild()) {
        co_return;
    }

    const auto deadline = std::chrono::steady_clock::now() + readyTimeout;
    for (;;) {
        co_await CancellableSleep(readyPollInterval, cancel);
        if (!self || cancel->isCancelled() || !m_child) {
            co_return;
        }
        const HealthAnswer ready = co_await HealthProbe::probe(host, port, probeTimeout);
        // A child that died meanwhile is the watchdog's, which cancels this run.
        if (!self || cancel->isCancelled() || !m_child) {
            co_return;
        }
        if (ready.kind == HealthAnswer::Kind::coach) {
            if (ready.protocol == HealthProbe::protocol) {
                setStatus(Status::managed());
            } else {
                releaseChild();
                setStatus(Status::configMismatch(
                    u"%1 speaks protocol %2, but this build of Tolvane needs "
                    "protocol %3. Rebuild it from the same checkout."_s.arg(
                        m_coachProgram, QString::number(ready.protocol),
                        QString::number(HealthProbe::protocol))));
            }
            co_return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            releaseChild();
            setStatus(Status::failed(
                u"The local coach service did not answer within %1 seconds. %2"_s.arg(
                    QString::number(
                        std::chrono::duration_cast<std::chrono::seconds>(readyTimeout).count()),
                    logHint())));
            co_return;
        }
    }
}

bool ServerManager::launchChild() {
    auto process = std::make_unique<QProcess>();
    process->setProgram(m_coachProgram);
    // The coach's own log file would repeat every line of the output we keep.
    process->setArguments({u"--log"_s, u"-"_s});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HTTP_ADDR"_s, coachAddress());
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    process->setProcessEnvironment(environment);
    if (prepareLog(m_coachProgram, coachAddress())) {
        process->setStandardOutputFile(CoachLogFile::path(), QIODevice::Append);
        process->setStandardErrorFile(CoachLogFile::path(), QIODevice::Append);
    } else {
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
    }
    // A coach left behind by a crashed app would hold the port as a stranger.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    QProcess* started = process.get();
    adoptChild(std::move(process));
    started->start();
    // A failure to start has been reported through onChildError by now.
    return m_child != nullptr;
}

void ServerManager::onChildFinished(int exitCode, QProcess::ExitStatus exitStatus) {
    if (m_child) {
        disconnect(m_child.get(), nullptr, this, nullptr);
        // We are inside its signal.
        m_child.release()->deleteLater();
    }
    if (m_quitting) {
        return;
    }
    if (m_run) {
        m_run->cancel();
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    m_recentExits.append(now);
    m_recentExits.removeIf([&](const QDateTime& exit) {
        return exit.msecsTo(now) > std::chrono::milliseconds(exitWindow).count();
    });
    if (!managesLocalCoach()) {
        return;
    }
    if (m_recentExits.size() >= exitsBeforeGivingUp) {
        const QString how =
            exitStatus == QProcess::CrashExit ? u"it crashed"_s : u"exit code %1"_s.arg(exitCode);
        const QString lastLine = CoachLogFile::lastLine();
        QString message =
            u"The local coach service stopped %1 times within a minute (last: %2)."_s.arg(
                QString::number(m_recentExits.size()), how);
        if (!lastLine.isEmpty()) {
            message += u" Last output: "_s + lastLine;
        }
        message += QLatin1Char(' ') + logHint();
        setStatus(Status::failed(message));
        return;
    }
    setStatus(Status::starting());
    beginRun(restartDelay);
}

void ServerManager::onChildError(QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart || !m_child) {
        return;
    }
    const QString reason = m_child->errorString();
    disconnect(m_child.get(), nullptr, this, nullptr);
    m_child.release()->deleteLater();
    if (m_run) {
        m_run->cancel();
    }
    setStatus(Status::failed(u"Could not start %1: %2"_s.arg(m_coachProgram, reason)));
}

void ServerManager::releaseChild() {
    if (!m_child) {
        return;
    }
    QProcess* child = m_child.release();
    disconnect(child, nullptr, this, nullptr);
    if (child->state() == QProcess::NotRunning) {
        child->deleteLater();
        return;
    }
    // Parented, so quitting still ends it: QProcess kills a running child when
    // it is destroyed.
    child->setParent(this);
    connect(child, &QProcess::finished, child, &QObject::deleteLater);
    child->terminate();
    QTimer::singleShot(stopChecks * stopCheckIntervalMs, child, [child] {
        if (child->state() != QProcess::NotRunning) {
            child->kill();
        }
    });
}

void ServerManager::quit() {
    if (m_quitting) {
        return;
    }
    m_quitting = true;
    if (m_run) {
        m_run->cancel();
    }
    stopChild();
}

} // namespace tolvane
