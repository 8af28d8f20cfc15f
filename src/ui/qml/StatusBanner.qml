import QtQuick
import QtQuick.Layouts
import Tolvane

// A confirmation or error line: green check or red warning on a tint.
Rectangle {
    id: banner
    property bool error: false
    property alias text: label.text
    radius: 8
    implicitHeight: row.implicitHeight + 20
    readonly property color tone: error ? "#D93025" : "#1E8E3E"
    color: Qt.rgba(tone.r, tone.g, tone.b, 0.1)
    RowLayout {
        id: row
        anchors.fill: parent
        anchors.margins: 10
        spacing: 8
        Icon { name: banner.error ? "exclamationmark.triangle.fill" : "checkmark.circle.fill"; color: banner.tone; size: 14 }
        Text { id: label; font.pixelSize: 12; color: Theme.textPrimary; wrapMode: Text.Wrap; Layout.fillWidth: true }
    }
}
