import QtQuick
import QtQuick.Controls
import Tolvane

// A menu row that also shows its action's shortcut at the right, so the
// keys can be learned from the menu.
MenuItem {
    id: item
    readonly property string keys: action && typeof action.shortcut === "string" ? action.shortcut : ""
    rightPadding: keys !== "" ? hint.implicitWidth + 30 : 12
    // A command that can't act now reads muted.
    palette.windowText: enabled ? Theme.textPrimary : Theme.textSecondary
    Text {
        id: hint
        anchors.right: parent.right
        anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        text: item.keys
        color: Theme.textSecondary
        opacity: item.enabled ? 1 : 0.6
        font.pixelSize: 12
        visible: item.keys !== ""
    }
}
