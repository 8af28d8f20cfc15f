import QtQuick
import QtQuick.Controls
import Tolvane

// A plain icon button with a tooltip.
AbstractButton {
    id: button
    property string iconName
    property color tint: Theme.textSecondary
    property int iconSize: 18
    property string tip
    implicitWidth: iconSize + 10
    implicitHeight: iconSize + 10
    hoverEnabled: true
    focusPolicy: Qt.TabFocus
    opacity: enabled ? 1 : 0.4
    Accessible.name: tip
    ToolTip.visible: hovered && tip !== ""
    ToolTip.text: tip
    ToolTip.delay: 600
    background: Rectangle {
        radius: 6
        color: button.down ? Qt.rgba(0.5, 0.5, 0.5, 0.3)
             : button.hovered ? Qt.rgba(0.5, 0.5, 0.5, 0.15) : "transparent"
        border.width: button.visualFocus ? 2 : 0
        border.color: Theme.focusRing
    }
    contentItem: Item {
        Icon {
            anchors.centerIn: parent
            name: button.iconName
            color: button.tint
            size: button.iconSize
        }
    }
}
