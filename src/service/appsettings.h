#pragma once

#include <QObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include <memory>

class QSettings;

namespace tolvane {

struct ServiceEndpoints;

// The user's identity towards the coach service and a few preferences, each
// stored under its property's own name so it survives restarts. Lives on the
// main thread for the whole run.
class AppSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString userID READ userID WRITE setUserID NOTIFY userIDChanged)
    Q_PROPERTY(QString authorName READ authorName WRITE setAuthorName NOTIFY authorNameChanged)
    Q_PROPERTY(
        QString authorHandle READ authorHandle WRITE setAuthorHandle NOTIFY authorHandleChanged)
    Q_PROPERTY(
        QString supportEmail READ supportEmail WRITE setSupportEmail NOTIFY supportEmailChanged)
    Q_PROPERTY(int videoMaxSeconds READ videoMaxSeconds WRITE setVideoMaxSeconds NOTIFY
                   videoMaxSecondsChanged)
    Q_PROPERTY(QString videoBackgroundMode READ videoBackgroundMode WRITE setVideoBackgroundMode
                   NOTIFY videoBackgroundModeChanged)
    Q_PROPERTY(QString videoBackgroundImagePath READ videoBackgroundImagePath WRITE
                   setVideoBackgroundImagePath NOTIFY videoBackgroundImagePathChanged)
    Q_PROPERTY(QString videoBackgroundPreset READ videoBackgroundPreset WRITE
                   setVideoBackgroundPreset NOTIFY videoBackgroundPresetChanged)
    Q_PROPERTY(bool provisional READ provisional NOTIFY provisionalChanged)

public:
    // Reads the application's own settings store ("Tolvane"/"Tolvane").
    explicit AppSettings(QObject* parent = nullptr);
    // Reads (and writes) `store`; for tools and tests.
    explicit AppSettings(std::unique_ptr<QSettings> store, QObject* parent = nullptr);
    ~AppSettings() override;

    QString userID() const { return m_userID; }
    QString authorName() const { return m_authorName; }
    QString authorHandle() const { return m_authorHandle; }
    QString supportEmail() const { return m_supportEmail; }
    int videoMaxSeconds() const { return m_videoMaxSeconds; }
    QString videoBackgroundMode() const { return m_videoBackgroundMode; }
    QString videoBackgroundImagePath() const { return m_videoBackgroundImagePath; }
    QString videoBackgroundPreset() const { return m_videoBackgroundPreset; }
    // True only while an id generated in this run has not been registered.
    bool provisional() const { return m_provisional; }

    void setUserID(const QString& value);
    void setAuthorName(const QString& value);
    void setAuthorHandle(const QString& value);
    void setSupportEmail(const QString& value);
    void setVideoMaxSeconds(int value);
    void setVideoBackgroundMode(const QString& value);
    void setVideoBackgroundImagePath(const QString& value);
    void setVideoBackgroundPreset(const QString& value);

    // Lets the service confirm or replace an id generated in this run. Every
    // failure is silent: the local id stays and `provisional` ends false.
    QCoro::Task<void> registerSession();
    QCoro::Task<void> registerSession(ServiceEndpoints endpoints);

    QSettings& store() { return *m_store; }

Q_SIGNALS:
    void userIDChanged();
    void authorNameChanged();
    void authorHandleChanged();
    void supportEmailChanged();
    void videoMaxSecondsChanged();
    void videoBackgroundModeChanged();
    void videoBackgroundImagePathChanged();
    void videoBackgroundPresetChanged();
    void provisionalChanged();

private:
    void load();
    void setProvisional(bool value);
    template <typename T>
    void assign(T& field, const T& value, const char* key, void (AppSettings::*changed)());

    std::unique_ptr<QSettings> m_store;
    QString m_userID;
    QString m_authorName;
    QString m_authorHandle;
    QString m_supportEmail;
    int m_videoMaxSeconds = 0;
    QString m_videoBackgroundMode;
    QString m_videoBackgroundImagePath;
    QString m_videoBackgroundPreset;
    bool m_provisional = false;
};

} // namespace tolvane
