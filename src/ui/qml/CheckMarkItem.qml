import QtQuick
import QtQuick.Controls
import Tolvane

// A menu row with a checkmark when it is the current choice, and optionally a
// small picture beside its label. Picking it does not toggle anything itself:
// the mark follows the setting the row stands for.
MenuItem {
    id: item
    property bool marked: false
    property string swatch: ""
    readonly property color rowColor: item.highlighted ? Qt.tint(Theme.cardBackground, "#300A66C2") : Theme.cardBackground
    leftPadding: 28
    rightPadding: 14
    implicitHeight: 30
    background: Rectangle { color: item.rowColor }
    contentItem: Row {
        spacing: 8
        Item {
            visible: item.swatch !== ""
            width: 30
            height: 19
            anchors.verticalCenter: parent.verticalCenter
            clip: true
            Image {
                anchors.fill: parent
                source: item.swatch
                sourceSize.width: 60
                sourceSize.height: 38
            }
            RoundedCorners { cornerRadius: 4; surroundColor: item.rowColor }
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: item.text
            font.pixelSize: 13
            color: item.enabled ? Theme.textPrimary : Theme.textSecondary
        }
    }
    Icon {
        x: 9
        anchors.verticalCenter: parent.verticalCenter
        visible: item.marked
        name: "checkmark"
        size: 12
        color: Theme.textPrimary
    }
}
