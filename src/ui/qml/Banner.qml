import QtQuick
import QtQuick.Layouts
import Tolvane

// One row above the chat: an icon, a message and trailing controls.
Rectangle {
    id: banner
    property string icon
    property color iconColor
    property color tint
    property real tintOpacity: 0.15
    default property alias trailing: trailingRow.data
    property alias text: label.text
    property alias notes: notesLabel.text
    implicitHeight: row.implicitHeight + 16
    color: Qt.rgba(tint.r, tint.g, tint.b, tintOpacity)
    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: 14
        anchors.rightMargin: 14
        spacing: 10
        Icon { name: banner.icon; color: banner.iconColor; size: 14 }
        Text {
            id: label
            font.pixelSize: 12
            font.weight: Font.Medium
            color: Theme.textPrimary
            elide: Text.ElideRight
            Layout.fillWidth: notesLabel.text === ""
        }
        Text {
            id: notesLabel
            visible: text !== ""
            font.pixelSize: 12
            color: Theme.textSecondary
            elide: Text.ElideRight
            Layout.fillWidth: true
        }
        RowLayout { id: trailingRow; spacing: 10 }
    }
    Rectangle { anchors.bottom: parent.bottom; width: parent.width; height: 1; color: Theme.hairline }
}
