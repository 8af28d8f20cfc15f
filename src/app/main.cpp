// Tolvane: wires the shared objects, the views and the start-up tasks.
#include "app/palette.h"
#include "app/rootviewmodel.h"
#include "app/windowsize.h"
#include "buildconfig.h"
#include "conversation/conversationstore.h"
#include "recording/recordingsdirectory.h"
#include "service/appsettings.h"
#include "ui/chat/chatviewmodel.h"
#include "ui/chat/draftpreview.h"
#include "ui/chat/messagelistmodel.h"
#include "ui/chat/qmlregistration.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QScreen>

using namespace Qt::StringLiterals;
using namespace tolvane;

namespace {

// Registration must finish before the listener starts, so the listener and
// every later request carry the id the service settled on.
QCoro::Task<void> startUp(QPointer<AppSettings> settings,
                          QPointer<ConversationStore> conversation) {
    if (settings) {
        co_await settings->registerSession();
    }
    if (conversation) {
        conversation->startEventStream();
    }
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QGuiApplication::setOrganizationName(u"Tolvane"_s);
    QGuiApplication::setApplicationName(u"Tolvane"_s);
    QGuiApplication::setApplicationDisplayName(u"Tolvane"_s);
    QGuiApplication::setApplicationVersion(QString::fromLatin1(build::version));
    QGuiApplication::setDesktopFileName(u"tolvane"_s);
    QQuickStyle::setStyle(u"Basic"_s);

    std::optional<QSizeF> available;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        available = QSizeF(screen->availableGeometry().size());
    }
    const QSize windowSize = initialWindowSize(available);
    AppSettings settings;
    ConversationStore conversation(settings);
    purgeStaleRecordings(86400, QDateTime::currentDateTimeUtc());

    const ServiceEndpoints endpoints = ServiceEndpoints::builtIn();
    Palette palette;
    RootViewModel root(endpoints.serviceRoot);
    MessageListModel messages(&conversation);
    ChatViewModel chat(conversation, settings, endpoints);
    DraftPreview::setDefaults(&settings, endpoints);

    registerQmlTypes();
    QQmlApplicationEngine engine;
    installImageProviders(engine);
    QQmlContext* context = engine.rootContext();
    context->setContextProperty(u"theme"_s, &palette);
    context->setContextProperty(u"root"_s, &root);
    context->setContextProperty(u"settings"_s, &settings);
    context->setContextProperty(u"conversation"_s, &conversation);
    context->setContextProperty(u"messages"_s, &messages);
    context->setContextProperty(u"chat"_s, &chat);
    context->setContextProperty(u"initialSize"_s, windowSize);
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &app,
        [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    engine.load(QUrl(u"qrc:/tolvane/Main.qml"_s));

    chat.loadDebugStatus();
    startUp(&settings, &conversation);
    return QGuiApplication::exec();
}
