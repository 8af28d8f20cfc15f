#pragma once

#include "conversation/conversationstore.h"
#include "palette.h"
#include "sharedobjects.h"
#include "studio/videostudiocontroller.h"
#include "video/videoeditmodel.h"

#include <QtQml/qqml.h>

class QJSEngine;

namespace tolvane {

// Shared objects the views bind as singletons through a wrapper: those below
// the views' library, and the palette, whose default constructor QML would
// otherwise prefer to the shared instance.

struct ThemeSingleton {
    Q_GADGET
    QML_FOREIGN(tolvane::Palette)
    QML_NAMED_ELEMENT(Theme)
    QML_SINGLETON

public:
    static Palette* create(QQmlEngine* engine, QJSEngine*) {
        return sharedWithViews<Palette>(engine);
    }
};

struct ConversationSingleton {
    Q_GADGET
    QML_FOREIGN(tolvane::ConversationStore)
    QML_NAMED_ELEMENT(Conversation)
    QML_SINGLETON

public:
    static ConversationStore* create(QQmlEngine* engine, QJSEngine*) {
        return sharedWithViews<ConversationStore>(engine);
    }
};

struct StudioSingleton {
    Q_GADGET
    QML_FOREIGN(tolvane::VideoStudioController)
    QML_NAMED_ELEMENT(Studio)
    QML_SINGLETON

public:
    static VideoStudioController* create(QQmlEngine* engine, QJSEngine*) {
        return sharedWithViews<VideoStudioController>(engine);
    }
};

// The studio's open recording; the editor's views bind it.
struct VideoEditModelType {
    Q_GADGET
    QML_FOREIGN(tolvane::VideoEditModel)
    QML_ANONYMOUS
};

} // namespace tolvane
