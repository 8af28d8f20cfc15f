#include "sharedobjects.h"

#include <QQmlEngine>

namespace tolvane {

namespace {

QByteArray key(const QMetaObject& type) {
    return QByteArrayLiteral("tolvane.shared.") + type.className();
}

} // namespace

void shareWithViews(QQmlEngine& engine, QObject& object) {
    // The views must never delete what the program owns.
    QJSEngine::setObjectOwnership(&object, QJSEngine::CppOwnership);
    engine.setProperty(key(*object.metaObject()).constData(), QVariant::fromValue(&object));
}

QObject* sharedWithViews(QQmlEngine* engine, const QMetaObject& type) {
    if (!engine) {
        return nullptr;
    }
    auto* object = engine->property(key(type).constData()).value<QObject*>();
    return type.cast(object);
}

} // namespace tolvane
