#pragma once

#include "localserverhooks.h"
#include "service/apiclient.h"
#include "ui/shell/sharedobjects.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

#include <qcoro/qcorotask.h>

#include <optional>

class QJSEngine;

namespace tolvane {

class AppSettings;

// The settings window: where the app talks to and a connection test, the
// local server's state with a restart button, the user's id and the handle on
// the post preview.
class SettingsModel : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(SettingsPanel)
    QML_SINGLETON
    Q_PROPERTY(QString serverAddress READ serverAddress CONSTANT)
    // "Connected" or the failure of the last test; empty before the first.
    Q_PROPERTY(QString connectionStatus READ connectionStatus NOTIFY connectionStatusChanged)
    Q_PROPERTY(bool testing READ testing NOTIFY testingChanged)
    // The "Local server" row and its restart button exist only while the
    // server manager has a status text.
    Q_PROPERTY(bool showLocalServer READ showLocalServer NOTIFY localServerChanged)
    Q_PROPERTY(bool localServerRunning READ localServerRunning NOTIFY localServerChanged)
    // "Running" or "Not running".
    Q_PROPERTY(QString localServerText READ localServerText NOTIFY localServerChanged)
    Q_PROPERTY(QString userID READ userID NOTIFY userIDChanged)
    Q_PROPERTY(
        QString authorHandle READ authorHandle WRITE setAuthorHandle NOTIFY authorHandleChanged)

public:
    // The instance the view host shares with the views.
    static SettingsModel* create(QQmlEngine* engine, QJSEngine*) {
        return sharedWithViews<SettingsModel>(engine);
    }

    explicit SettingsModel(AppSettings& settings,
                           ServiceEndpoints endpoints = ServiceEndpoints::builtIn(),
                           QObject* parent = nullptr);
    ~SettingsModel() override;

    QString serverAddress() const { return m_endpoints.serviceRoot; }
    QString connectionStatus() const { return m_connectionStatus.value_or(QString()); }
    bool testing() const { return m_testing; }
    bool showLocalServer() const { return m_localServer.statusText.has_value(); }
    bool localServerRunning() const { return m_localServer.running; }
    QString localServerText() const;
    QString userID() const;
    QString authorHandle() const;
    void setAuthorHandle(const QString& value);

    // Connects the server manager; call refreshLocalServer() whenever its
    // status changes.
    void setLocalServer(LocalServerHooks hooks);
    Q_INVOKABLE void refreshLocalServer();
    Q_INVOKABLE void restartLocalServer();

    // Every showing of the settings starts without a test result.
    Q_INVOKABLE void open();
    // Asks the service for the account overview; the newest test's result wins.
    Q_INVOKABLE void testConnection();

Q_SIGNALS:
    void connectionStatusChanged();
    void testingChanged();
    void localServerChanged();
    void userIDChanged();
    void authorHandleChanged();

private:
    struct LocalServer {
        std::optional<QString> statusText;
        bool running = false;
        friend bool operator==(const LocalServer&, const LocalServer&) = default;
    };

    QCoro::Task<void> runTest(quint64 generation);
    void setConnectionStatus(QString value);
    void setTesting(bool value);

    QPointer<AppSettings> m_settings;
    ServiceEndpoints m_endpoints;
    std::optional<QString> m_connectionStatus;
    bool m_testing = false;
    LocalServerHooks m_hooks;
    LocalServer m_localServer;
    quint64 m_testGeneration = 0;
};

} // namespace tolvane
