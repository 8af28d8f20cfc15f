#include "viewhost.h"

#include "conversation/conversationstore.h"
#include "service/appsettings.h"
#include "studio/videostudiocontroller.h"
#include "ui/chat/draftpreview.h"
#include "ui/chat/qmlregistration.h"
#include "ui/shell/sharedobjects.h"

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
    , dictation(chat)
    , canvas(conversation, settings, endpoints)
    , debugLog(settings, endpoints)
    , settingsPanel(settings, endpoints)
    , support(settings, endpoints) {
    DraftPreview::setDefaults(&settings, endpoints);
    root.followStudio(&studio);
    palette.followDesktop(&appearance);
    registerQmlTypes();
    installImageProviders(engine);
    // The module's files are resources under "qrc:/Tolvane".
    engine.addImportPath(u"qrc:/"_s);
    for (QObject* object : std::initializer_list<QObject*>{&palette, &root, &conversation, &studio,
                                                           &messages, &chat, &dictation, &canvas,
                                                           &debugLog, &settingsPanel, &support}) {
        shareWithViews(engine, *object);
    }
    engine.setInitialProperties(
        {{u"width"_s, initialSize.width()}, {u"height"_s, initialSize.height()}});
}

QQuickWindow* ViewHost::load() {
    engine.load(QUrl(u"qrc:/Tolvane/qml/Main.qml"_s));
    const auto roots = engine.rootObjects();
    return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.first());
}

} // namespace tolvane
