#include "editactions.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <QQuickItem>
#include <QQuickWindow>

namespace tolvane {

EditActions::EditActions(QObject* parent)
    : QObject(parent) {}

void EditActions::setWindow(QQuickWindow* window) {
    if (window == m_window) {
        return;
    }
    disconnect(m_focus);
    m_window = window;
    if (m_window) {
        m_focus =
            connect(m_window, &QQuickWindow::activeFocusItemChanged, this, &EditActions::follow);
    }
    follow();
    Q_EMIT windowChanged();
}

QQuickItem* EditActions::target() const {
    return m_target.data();
}

bool EditActions::isTextItem(const QObject* item) {
    if (!item) {
        return false;
    }
    const QMetaObject* meta = item->metaObject();
    return meta->indexOfMethod("selectAll()") >= 0 && meta->indexOfMethod("copy()") >= 0 &&
           meta->indexOfProperty("selectedText") >= 0 && meta->indexOfProperty("readOnly") >= 0;
}

void EditActions::follow() {
    // Menus, buttons and the like leave the last text field the target.
    if (m_window && isTextItem(m_window->activeFocusItem())) {
        setTarget(m_window->activeFocusItem());
    }
}

void EditActions::setTarget(QQuickItem* item) {
    if (item == m_target) {
        return;
    }
    for (const auto& connection : std::as_const(m_watch)) {
        disconnect(connection);
    }
    m_watch.clear();
    m_target = item;
    if (item) {
        // Every state the commands depend on announces its changes.
        const QMetaObject* meta = item->metaObject();
        const QMetaMethod notify = metaObject()->method(metaObject()->indexOfSignal("changed()"));
        for (const char* name :
             {"canUndo", "canRedo", "canPaste", "selectedText", "readOnly", "text", "enabled"}) {
            const int index = meta->indexOfProperty(name);
            if (index >= 0 && meta->property(index).hasNotifySignal()) {
                m_watch.append(connect(item, meta->property(index).notifySignal(), this, notify));
            }
        }
        m_watch.append(connect(item, &QObject::destroyed, this, [this] { setTarget(nullptr); }));
    }
    Q_EMIT changed();
}

bool EditActions::flag(const char* name) const {
    return m_target && m_target->isEnabled() && m_target->property(name).toBool();
}

bool EditActions::editable() const {
    return m_target && m_target->isEnabled() && !m_target->property("readOnly").toBool();
}

bool EditActions::hasSelection() const {
    return m_target && m_target->isEnabled() &&
           !m_target->property("selectedText").toString().isEmpty();
}

QString EditActions::text() const {
    return m_target && m_target->isEnabled() ? m_target->property("text").toString() : QString();
}

void EditActions::call(const char* method) {
    if (!m_target) {
        return;
    }
    QMetaObject::invokeMethod(m_target, method);
    // The menu took the focus; the field gets it back, so typing goes on.
    m_target->forceActiveFocus();
}

void EditActions::undo() {
    if (canUndo()) {
        call("undo");
    }
}

void EditActions::redo() {
    if (canRedo()) {
        call("redo");
    }
}

void EditActions::cut() {
    if (canCut()) {
        call("cut");
    }
}

void EditActions::copy() {
    if (canCopy()) {
        call("copy");
    }
}

void EditActions::paste() {
    if (canPaste()) {
        call("paste");
    }
}

void EditActions::selectAll() {
    if (canSelectAll()) {
        call("selectAll");
    }
}

} // namespace tolvane
