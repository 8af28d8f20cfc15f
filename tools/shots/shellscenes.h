#pragma once

#include <QString>

class QQuickWindow;

namespace tolvane {
class ViewHost;
class ConversationStore;
namespace test {
class ScriptedHttpServer;
}

namespace shots {

// The window's own pieces: the Edit and Help menus, the erase question, Esc,
// a long message with a picture attached, a preview still loading, and the
// canvas staying inside the window at every size.
//
// Puts the scene named by `sheet` (those starting with "shell-") on screen;
// with `check` it also drives the menus and the question and verifies what
// they did. Returns the number of failed checks.
int stageShellScene(const QString& sheet, QQuickWindow* window, ViewHost& views,
                    ConversationStore& store, test::ScriptedHttpServer& service, bool check);

// After a scene is drawn: whatever the window shows of the canvas lies
// inside it, and with `check` Esc closes the open canvas or sheet. Returns
// the number of failed checks.
int checkShellScene(const QString& sheet, QQuickWindow* window, ViewHost& views,
                    test::ScriptedHttpServer& service, bool check);

} // namespace shots
} // namespace tolvane
