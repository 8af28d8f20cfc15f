#include "qmlregistration.h"

#include "chatviewmodel.h"
#include "draftpreview.h"
#include "iconprovider.h"
#include "imagepreviewmodel.h"
#include "imagestore.h"
#include "messagelistmodel.h"
#include "videoposterprovider.h"

#include <QQmlEngine>

namespace tolvane {

void registerQmlTypes() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    qmlRegisterType<DraftPreview>("Tolvane", 1, 0, "DraftPreview");
    qmlRegisterType<ImagePreviewModel>("Tolvane", 1, 0, "ImagePreviewModel");
    qmlRegisterUncreatableType<ChatViewModel>("Tolvane", 1, 0, "ChatViewModel",
                                              QStringLiteral("made by the application"));
    qmlRegisterUncreatableType<MessageListModel>("Tolvane", 1, 0, "MessageListModel",
                                                 QStringLiteral("made by the application"));
}

void installImageProviders(QQmlEngine& engine) {
    engine.addImageProvider(QStringLiteral("tolvane"), new ImageStoreProvider);
    engine.addImageProvider(QStringLiteral("icon"), new IconProvider);
    engine.addImageProvider(QStringLiteral("poster"), new VideoPosterProvider);
}

} // namespace tolvane
