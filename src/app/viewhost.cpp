#include "viewhost.h"

#include "conversation/conversationstore.h"
#include "service/appsettings.h"
#include "studio/videostudiocontroller.h"
#include "ui/chat/draftpreview.h"
#include "ui/chat/qmlregistration.h"
#include "ui/shell/sharedobjects.h"
#include "windowplacement.h"

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
    // The module's files are resources under "qrc:/Tolvane".
    engine.addImportPath(u"qrc:/"_s);
    for (QObject* object :
         std::initializer_list<QObject*>{&palette, &root, &conversation, &studio, &messages, &chat,
                                         &canvas, &debugLog, &settingsPanel, &support}) {
        shareWithViews(engine, *object);
    }
    engine.setInitialProperties(
        {{u"width"_s, initialSize.width()}, {u"height"_s, initialSize.height()}});
}

QQuickWindow* ViewHost::load() {
    engine.load(QUrl(u"qrc:/Tolvane/qml/Main.qml"_s));
    const auto roots = engine.rootObjects();
    auto* window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.first());
    if (window) {
        for (const char* name : {"settingsWindow", "studioWindow"}) {
            if (auto* secondary = window->findChild<QQuickWindow*>(QString::fromLatin1(name))) {
                new FirstShowPlacement(window, secondary);
            }
        }
    }
    return window;
}

} // namespace tolvane
