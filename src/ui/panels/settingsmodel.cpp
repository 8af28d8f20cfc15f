#include "settingsmodel.h"

#include "service/appsettings.h"

using namespace Qt::StringLiterals;

namespace tolvane {

SettingsModel::SettingsModel(AppSettings& settings, ServiceEndpoints endpoints, QObject* parent)
    : QObject(parent)
    , m_settings(&settings)
    , m_endpoints(std::move(endpoints)) {
    connect(&settings, &AppSettings::userIDChanged, this, &SettingsModel::userIDChanged);
    connect(&settings, &AppSettings::authorHandleChanged, this,
            &SettingsModel::authorHandleChanged);
}

SettingsModel::~SettingsModel() = default;

QString SettingsModel::localServerText() const {
    return m_localServer.running ? u"Running"_s : u"Not running"_s;
}

QString SettingsModel::userID() const {
    return m_settings ? m_settings->userID() : QString();
}

QString SettingsModel::authorHandle() const {
    return m_settings ? m_settings->authorHandle() : QString();
}

void SettingsModel::setAuthorHandle(const QString& value) {
    // The settings announce the change, which this model forwards.
    if (m_settings) {
        m_settings->setAuthorHandle(value);
    }
}

void SettingsModel::setLocalServer(LocalServerHooks hooks) {
    m_hooks = std::move(hooks);
    refreshLocalServer();
}

void SettingsModel::refreshLocalServer() {
    LocalServer next;
    if (m_hooks.statusText) {
        next.statusText = m_hooks.statusText();
    }
    if (m_hooks.isRunning) {
        next.running = m_hooks.isRunning();
    }
    if (next == m_localServer) {
        return;
    }
    m_localServer = std::move(next);
    Q_EMIT localServerChanged();
}

void SettingsModel::restartLocalServer() {
    if (!showLocalServer() || !m_hooks.restart) {
        return;
    }
    m_hooks.restart();
    refreshLocalServer();
}

void SettingsModel::open() {
    ++m_testGeneration;
    setTesting(false);
    if (m_connectionStatus) {
        m_connectionStatus.reset();
        Q_EMIT connectionStatusChanged();
    }
    refreshLocalServer();
}

void SettingsModel::testConnection() {
    ++m_testGeneration;
    setTesting(true);
    runTest(m_testGeneration);
}

QCoro::Task<void> SettingsModel::runTest(quint64 generation) {
    QPointer<SettingsModel> self(this);
    const APIClient api(*m_settings, m_endpoints);
    const auto result = co_await api.overview();
    // A slower, older test must not overwrite the answer to the newest one.
    if (!self || generation != m_testGeneration) {
        co_return;
    }
    setConnectionStatus(result ? u"Connected"_s : result.error().description());
    setTesting(false);
}

void SettingsModel::setConnectionStatus(QString value) {
    if (m_connectionStatus == value) {
        return;
    }
    m_connectionStatus = std::move(value);
    Q_EMIT connectionStatusChanged();
}

void SettingsModel::setTesting(bool value) {
    if (value == m_testing) {
        return;
    }
    m_testing = value;
    Q_EMIT testingChanged();
}

} // namespace tolvane
