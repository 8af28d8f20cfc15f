#include "viewhost.h"

#include "conversation/conversationstore.h"
#include "platform/previewimageprovider.h"
#include "service/appsettings.h"
#include "studio/videostudiocontroller.h"
#include "ui/chat/draftpreview.h"
#include "ui/chat/qmlregistration.h"
#include "ui/shell/sharedobjects.h"
#include "video/backgroundreplacer.h"
#include "video/backgroundswatchprovider.h"
#include "windowplacement.h"

#include <QPointer>
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
    , support(settings, endpoints)
    , editor(studio, conversation, settings, endpoints)
    , hud(studio)
    , videoMenu(settings, conversation, studio) {
    DraftPreview::setDefaults(&settings, endpoints);
    root.followStudio(&studio);
    // Recordings get the background the user picked in the video menu.
    studio.setBackgroundChoice([settings = QPointer<AppSettings>(&settings)] {
        return settings ? BackgroundReplacer::currentMode(settings->store())
                        : std::optional<BackgroundReplacer::Mode>();
    });
    // Recording a video and dictating share the microphone: each locks the other out.
    QObject::connect(&dictation, &DictationViewModel::stateChanged, &videoMenu,
                     [this] { videoMenu.setDictationBusy(dictation.busy()); });
    palette.followDesktop(&appearance);
    registerQmlTypes();
    installImageProviders(engine);
    engine.addImageProvider(BackgroundSwatchProvider::providerId, new BackgroundSwatchProvider);
    // The recording window's live picture: the provider only hands over the
    // latest picture the capture thread scaled, whichever recorder made it.
    auto* preview = new PreviewImageProvider;
    engine.addImageProvider(RecordingHudModel::providerId, preview);
    preview->setSource(hud.previewFrames());
    QObject::connect(&hud, &RecordingHudModel::previewFramesChanged, preview,
                     [this, preview] { preview->setSource(hud.previewFrames()); });
    // The module's files are resources under "qrc:/Tolvane".
    engine.addImportPath(u"qrc:/"_s);
    for (QObject* object : std::initializer_list<QObject*>{
             &palette, &root, &conversation, &studio, &messages, &chat, &dictation, &canvas,
             &debugLog, &settingsPanel, &support, &editor, &hud, &videoMenu}) {
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
