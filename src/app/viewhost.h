#pragma once

#include "service/apiclient.h"
#include "studio/recordinghudmodel.h"
#include "studio/videoeditormodel.h"
#include "ui/chat/chatviewmodel.h"
#include "ui/chat/dictationviewmodel.h"
#include "ui/chat/messagelistmodel.h"
#include "ui/chat/videomenumodel.h"
#include "ui/panels/debuglogmodel.h"
#include "ui/panels/draftcanvasmodel.h"
#include "ui/panels/settingsmodel.h"
#include "ui/panels/supportmodel.h"
#include "ui/shell/desktopappearance.h"
#include "ui/shell/palette.h"
#include "ui/shell/rootviewmodel.h"

#include <QQmlApplicationEngine>
#include <QSize>

class QQuickWindow;

namespace tolvane {

class AppSettings;
class ConversationStore;
class VideoStudioController;

// Video plays through FFmpeg, which the app already depends on; Qt would
// otherwise pick GStreamer, which needs plugins a desktop may lack and crashes
// without them. A choice made in the environment stands. Call it first thing
// in main, before any thread reads the environment.
void preferFfmpegMedia();

// The main window and the view-models it binds to, over the shared settings and
// conversation. The app, the screenshot tool and the view benchmarks share it.
class ViewHost {
public:
    ViewHost(AppSettings& settings, ConversationStore& conversation, VideoStudioController& studio,
             ServiceEndpoints endpoints, QSize initialSize);

    // Loads the main window; null when the views fail to load.
    QQuickWindow* load();

    DesktopAppearance appearance;
    Palette palette;
    RootViewModel root;
    MessageListModel messages;
    ChatViewModel chat;
    DictationViewModel dictation;
    DraftCanvasModel canvas;
    DebugLogModel debugLog;
    SettingsModel settingsPanel;
    SupportModel support;
    VideoEditorModel editor;
    RecordingHudModel hud;
    VideoMenuModel videoMenu;
    // Last, so the views go before the objects they bind to.
    QQmlApplicationEngine engine;
};

} // namespace tolvane
