#pragma once

#include "ui/shell/sharedobjects.h"

#include <QObject>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>

class QJSEngine;

namespace tolvane {

class ConversationStore;
class VideoStudioController;

// What the main window shows above the chat: the update banner, the local
// server banner and the banner of a conversation that can't be saved. The shell feeds it from the
// update check and the server manager; the view only binds.
class RootViewModel : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Root)
    QML_SINGLETON
    Q_PROPERTY(bool updateVisible READ updateVisible NOTIFY updateChanged)
    Q_PROPERTY(QString updateTitle READ updateTitle NOTIFY updateChanged)
    Q_PROPERTY(QString updateNotes READ updateNotes NOTIFY updateChanged)
    // The download address; empty when the release's address does not parse.
    Q_PROPERTY(QString updateUrl READ updateUrl NOTIFY updateChanged)
    Q_PROPERTY(bool serverBannerVisible READ serverBannerVisible NOTIFY serverChanged)
    Q_PROPERTY(QString serverBannerText READ serverBannerText NOTIFY serverChanged)
    Q_PROPERTY(QString serviceRoot READ serviceRoot CONSTANT)
    Q_PROPERTY(bool saveBannerVisible READ saveBannerVisible NOTIFY saveChanged)
    Q_PROPERTY(QString saveBannerText READ saveBannerText NOTIFY saveChanged)
    // For the About box: the version this build carries and what it bundles
    // under licences of their own (maps of "part", "name" and "licence").
    Q_PROPERTY(QString version READ version CONSTANT)
    Q_PROPERTY(QVariantList notices READ notices CONSTANT)
    // The chat column never gets narrower than this; the draft canvas is
    // this wide beside it.
    Q_PROPERTY(int chatMinimumWidth MEMBER chatMinimumWidth CONSTANT)
    Q_PROPERTY(int canvasWidth MEMBER canvasWidth CONSTANT)

public:
    // The instance the view host shares with the views.
    static RootViewModel* create(QQmlEngine* engine, QJSEngine*) {
        return sharedWithViews<RootViewModel>(engine);
    }

    explicit RootViewModel(QString serviceRoot, QObject* parent = nullptr);

    bool updateVisible() const { return !m_version.isEmpty(); }
    QString updateTitle() const;
    QString updateNotes() const { return m_notes; }
    QString updateUrl() const;
    bool serverBannerVisible() const { return !m_serverText.isEmpty(); }
    QString serverBannerText() const { return m_serverText; }
    QString serviceRoot() const { return m_serviceRoot; }
    bool saveBannerVisible() const { return !m_saveFailure.isEmpty(); }
    QString saveBannerText() const;

    void setUpdate(const QString& version, const QString& url, const QString& notes);
    // Empty text hides the banner.
    void setServerBanner(const QString& text);
    // The reason the conversation file could not be written; empty (a save
    // succeeded) hides the banner.
    void setSaveFailure(const QString& reason);
    void setRetryHandler(std::function<void()> handler) { m_retry = std::move(handler); }
    // From now on, each change of the studio's phase to `preparing` (at any
    // progress) or `editing` asks for the studio window to be opened or
    // raised. The phase the studio already has asks for nothing.
    void followStudio(VideoStudioController* studio);

    // From now on the save banner follows the store: shown with the reason
    // when saving fails, hidden when a save succeeds again.
    void followSaves(ConversationStore* store);

    static constexpr int chatMinimumWidth = 420;
    static constexpr int canvasWidth = 420;

    QString version() const;
    static QVariantList notices();
    // Whether the draft canvas covers the chat in a main row this wide: it does
    // when the chat's minimum width, a divider and the canvas do not fit side
    // by side.
    Q_INVOKABLE static bool canvasCoversChat(double rowWidth);

    Q_INVOKABLE void dismissUpdate();
    Q_INVOKABLE void retryServer();

Q_SIGNALS:
    void updateChanged();
    void serverChanged();
    void saveChanged();
    // The update banner was dismissed.
    void updateDismissed();
    // The "Video Studio" window should be shown, or raised when it is open.
    void studioWindowRequested();

private:
    QString m_serviceRoot;
    QString m_version;
    QString m_url;
    QString m_notes;
    QString m_serverText;
    QString m_saveFailure;
    std::function<void()> m_retry;
};

} // namespace tolvane
