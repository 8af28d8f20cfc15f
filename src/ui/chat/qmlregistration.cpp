#include "qmlregistration.h"

#include "iconprovider.h"
#include "imagestore.h"
#include "videoposterprovider.h"

#include <QQmlEngine>

using namespace Qt::StringLiterals;

// Generated with the "Tolvane" module.
void qml_register_types_Tolvane();

namespace tolvane {

void registerQmlTypes() {
    // The module is linked statically: naming its registration keeps it in
    // the program, and the views' import then finds its types.
    static const bool registered = [] {
        qml_register_types_Tolvane();
        return true;
    }();
    Q_UNUSED(registered);
}

void installImageProviders(QQmlEngine& engine) {
    engine.addImageProvider(u"tolvane"_s, new ImageStoreProvider);
    engine.addImageProvider(u"icon"_s, new IconProvider);
    engine.addImageProvider(u"poster"_s, new VideoPosterProvider);
}

} // namespace tolvane
