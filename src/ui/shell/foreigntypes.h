#pragma once

#include "conversation/conversationstore.h"
#include "recording/videostudiocontroller.h"
#include "sharedobjects.h"
#include "video/videoeditmodel.h"

#include <QtQml/qqml.h>

class QJSEngine;

namespace tolvane {

// The shared objects the views bind that live below the views' library.

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
