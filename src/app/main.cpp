// Tolvane: wires the shared objects, the views and the start-up tasks.
#include "app/appupdate.h"
#include "app/viewhost.h"
#include "app/windowsize.h"
#include "buildconfig.h"
#include "common/shutdownsignal.h"
#include "conversation/conversationowner.h"
#include "conversation/conversationstore.h"
#include "recording/recordingsdirectory.h"
#include "server/servermanager.h"
#include "service/appsettings.h"
#include "service/videoupload.h"
#include "studio/videostudiocontroller.h"

#include <QGuiApplication>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QScreen>

#include <csignal>
#include <cstdio>

#include <qcoro/qcorosignal.h>

using namespace Qt::StringLiterals;
using namespace tolvane;

namespace {

// Registration must finish before the listener starts, so the listener and
// every later request carry the id the service settled on; the update check
// comes last.
QCoro::Task<void> startUp(QPointer<AppSettings> settings, QPointer<ConversationStore> conversation,
                          QPointer<AppUpdate> update, QPointer<ServerManager> server) {
    // A local coach the app launches needs a moment; registering before it
    // listens would fail, and a first id would never be confirmed.
    const auto settling = [&server] {
        return server && (server->status().kind() == ServerStatus::Case::probing ||
                          server->status().kind() == ServerStatus::Case::starting);
    };
    while (settling()) {
        const auto changed =
            co_await qCoro(server.get(), &ServerManager::statusChanged, std::chrono::seconds(25));
        if (!changed) {
            break;
        }
    }
    if (settings) {
        co_await settings->registerSession();
    }
    if (conversation) {
        conversation->startEventStream();
    }
    if (update) {
        co_await update->check(QString::fromUtf8(build::serviceRoot),
                               QString::fromLatin1(build::version));
    }
}

} // namespace

int main(int argc, char** argv) {
    preferFfmpegMedia();
    QGuiApplication app(argc, argv);
    QGuiApplication::setOrganizationName(u"Tolvane"_s);
    QGuiApplication::setApplicationName(u"Tolvane"_s);
    QGuiApplication::setApplicationDisplayName(u"Tolvane"_s);
    QGuiApplication::setApplicationVersion(QString::fromLatin1(build::version));
    QGuiApplication::setDesktopFileName(u"tolvane"_s);
    QQuickStyle::setStyle(u"Basic"_s);
    // A termination request (logout, `kill`) quits through the event loop, so the
    // conversation's last change reaches the disk and the local coach is stopped.
    ShutdownSignal shutdown({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&shutdown, &ShutdownSignal::received, &app, &QCoreApplication::quit);

    // One window per conversation: a second launch brings the first forward.
    ConversationOwner owner;
    if (!owner.claim()) {
        if (owner.askOwnerToShow()) {
            std::fputs("Tolvane is already open; bringing its window forward.\n", stderr);
            return 0;
        }
        const auto holder = owner.holder();
        const QString who =
            holder ? u"%1 (pid %2)"_s
                         .arg(holder->program.isEmpty() ? u"another program"_s : holder->program)
                         .arg(holder->pid)
                   : u"another program"_s;
        std::fprintf(stderr, "Tolvane's conversation is in use by %s; try again in a moment.\n",
                     qPrintable(who));
        return 1;
    }

    VideoStudioController studio;
    AppUpdate appUpdate;
    ServerManager server(QString::fromUtf8(build::serviceRoot));
    std::optional<QSizeF> available;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        available = QSizeF(screen->availableGeometry().size());
    }
    const QSize windowSize = initialWindowSize(available);
    AppSettings settings;
    ConversationStore conversation(settings);
    purgeStaleRecordings(86400, QDateTime::currentDateTimeUtc());
    // Upload bodies of a killed upload of an earlier version.
    upload::removeStaleBodies();

    ViewHost views(settings, conversation, studio, ServiceEndpoints::builtIn(), windowSize);
    RootViewModel& root = views.root;
    ChatViewModel& chat = views.chat;

    // The banners follow the server manager and the update check.
    const auto showServer = [&root, &server] {
        root.setServerBanner(server.showsBanner() ? server.statusText().value_or(QString())
                                                  : QString());
    };
    QObject::connect(&server, &ServerManager::statusChanged, &root, showServer);
    root.setRetryHandler([&server] { server.restart(); });
    views.settingsPanel.setLocalServer({[&server] { return server.statusText(); },
                                        [&server] { return server.isRunning(); },
                                        [&server] { server.restart(); }});
    QObject::connect(&server, &ServerManager::statusChanged, &views.settingsPanel,
                     &SettingsModel::refreshLocalServer);
    QObject::connect(&appUpdate, &AppUpdate::availableChanged, &root, [&root, &appUpdate] {
        if (const auto& release = appUpdate.available()) {
            root.setUpdate(release->version, release->url, release->notes.value_or(QString()));
        } else {
            root.dismissUpdate();
        }
    });
    QObject::connect(&root, &RootViewModel::updateDismissed, &appUpdate, &AppUpdate::dismiss);
    // Saving goes on after a failure; the banner stays until a save succeeds.
    root.followSaves(&conversation);

    QObject::connect(
        &views.engine, &QQmlApplicationEngine::objectCreationFailed, &app,
        [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    QQuickWindow* window = views.load();
    if (!window) {
        return 1;
    }
    owner.listenForActivation();
    QObject::connect(&owner, &ConversationOwner::activationRequested, window, [window] {
        window->showNormal();
        window->raise();
        window->requestActivate();
    });

    // Finds or starts the local coach (only for a loopback service root).
    server.start();
    showServer();
    chat.loadDebugStatus();
    // The log button depends on the service, which may only now be up.
    QObject::connect(&server, &ServerManager::statusChanged, &chat, [&server, &chat] {
        if (server.isRunning()) {
            chat.loadDebugStatus();
        }
    });
    startUp(&settings, &conversation, &appUpdate, &server);
    return QGuiApplication::exec();
}
