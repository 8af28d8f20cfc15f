#pragma once

#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtQml/qqmlregistration.h>

namespace tolvane {

// The Edit menu's text commands (undo, redo, cut, copy, paste, select all)
// for the text field that last had the keyboard focus in a window. Opening
// the menu takes the focus from the field, so the field is remembered until
// another text item takes the focus or it goes away.
class EditActions : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QQuickWindow* window READ window WRITE setWindow NOTIFY windowChanged)
    Q_PROPERTY(QQuickItem* target READ target NOTIFY changed)
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY changed)
    Q_PROPERTY(bool canRedo READ canRedo NOTIFY changed)
    Q_PROPERTY(bool canCut READ canCut NOTIFY changed)
    Q_PROPERTY(bool canCopy READ canCopy NOTIFY changed)
    Q_PROPERTY(bool canPaste READ canPaste NOTIFY changed)
    Q_PROPERTY(bool canSelectAll READ canSelectAll NOTIFY changed)

public:
    explicit EditActions(QObject* parent = nullptr);

    QQuickWindow* window() const { return m_window; }
    void setWindow(QQuickWindow* window);
    QQuickItem* target() const;

    bool canUndo() const { return flag("canUndo"); }
    bool canRedo() const { return flag("canRedo"); }
    bool canCut() const { return editable() && hasSelection(); }
    bool canCopy() const { return hasSelection(); }
    bool canPaste() const { return flag("canPaste"); }
    bool canSelectAll() const { return !text().isEmpty(); }

    // True for an item that edits or shows selectable text (TextEdit,
    // TextInput and the controls built on them).
    static bool isTextItem(const QObject* item);

    Q_INVOKABLE void undo();
    Q_INVOKABLE void redo();
    Q_INVOKABLE void cut();
    Q_INVOKABLE void copy();
    Q_INVOKABLE void paste();
    Q_INVOKABLE void selectAll();

Q_SIGNALS:
    void windowChanged();
    void changed();

private:
    void follow();
    void setTarget(QQuickItem* item);
    bool flag(const char* name) const;
    bool editable() const;
    bool hasSelection() const;
    QString text() const;
    void call(const char* method);

    QPointer<QQuickWindow> m_window;
    QPointer<QQuickItem> m_target;
    QMetaObject::Connection m_focus;
    QList<QMetaObject::Connection> m_watch;
};

} // namespace tolvane
