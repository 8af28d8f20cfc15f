#include "viewhost.h"

#include "conversation/conversationstore.h"
#include "recording/videostudiocontroller.h"
#include "service/appsettings.h"
#include "ui/chat/draftpreview.h"
#include "ui/chat/qmlregistration.h"

#include <QQmlContext>
#include <QQuickWindow>

using namespace Qt::StringLiterals;

namespace tolvane {

void preferFfmpegMedia() {
    if (!qEnvironmentVariableIsSet("QT_MEDIA_BACKEND")) {
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    }
}

ViewHost::ViewHost(AppSettings& settings, ConversationStore& conversation,
                   VideoStudioController& studio, ServiceEndpoints endpoints, QSize initialSize)
    : root(endpoints.serviceRoot)
    , messages(&conversation)
    , chat(conversation, settings, endpoints)
    , canvas(conversation, settings, endpoints)
    , debugLog(settings, endpoints)
    , settingsPanel(settings, endpoints)
    , support(settings, endpoints) {
    DraftPreview::setDefaults(&settings, endpoints);
    root.followStudio(&studio);
    palette.followDesktop(&appearance);
    registerQmlTypes();
    installImageProviders(engine);
    QQmlContext* context = engine.rootContext();
    context->setContextProperty(u"theme"_s, &palette);
    context->setContextProperty(u"root"_s, &root);
    context->setContextProperty(u"settings"_s, &settings);
    context->setContextProperty(u"conversation"_s, &conversation);
    context->setContextProperty(u"studio"_s, &studio);
    context->setContextProperty(u"messages"_s, &messages);
    context->setContextProperty(u"chat"_s, &chat);
    context->setContextProperty(u"canvas"_s, &canvas);
    context->setContextProperty(u"debugLog"_s, &debugLog);
    context->setContextProperty(u"settingsPanel"_s, &settingsPanel);
    context->setContextProperty(u"support"_s, &support);
    context->setContextProperty(u"initialSize"_s, initialSize);
}

QQuickWindow* ViewHost::load() {
    engine.load(QUrl(u"qrc:/tolvane/Main.qml"_s));
    const auto roots = engine.rootObjects();
    return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.first());
}

} // namespace tolvane
