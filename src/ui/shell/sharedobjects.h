#pragma once

#include <QObject>

class QQmlEngine;

namespace tolvane {

// The objects a program makes once (the view host's view-models, the
// conversation, the studio) reach its views as singletons. Each singleton's
// `create` finds the object shared with the engine that loads the views, so
// every engine binds its own host's objects.
void shareWithViews(QQmlEngine& engine, QObject& object);
// The object of `type` shared with `engine`; null when none was.
QObject* sharedWithViews(QQmlEngine* engine, const QMetaObject& type);

template <typename T>
T* sharedWithViews(QQmlEngine* engine) {
    return static_cast<T*>(sharedWithViews(engine, T::staticMetaObject));
}

} // namespace tolvane
