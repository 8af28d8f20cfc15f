import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tolvane

// Stands in for the message field while dictation records: a red dot, the
// elapsed time, the live input level, "Listening…" and Discard.
RowLayout {
    id: bar
    spacing: 10

    Rectangle {
        Layout.preferredWidth: 10
        Layout.preferredHeight: 10
        radius: 5
        color: "red"
    }
    Text {
        // Wide enough for "00:00", so the bar beside it does not move as the
        // seconds change.
        Layout.minimumWidth: timeMetrics.advanceWidth
        text: Dictation.elapsedText
        font.pixelSize: 13
        color: Theme.textPrimary
        TextMetrics { id: timeMetrics; font.pixelSize: 13; text: "00:00" }
    }
    Rectangle {
        id: capsule
        Layout.fillWidth: true
        Layout.minimumWidth: 60
        Layout.preferredWidth: 220
        Layout.maximumWidth: 220
        Layout.preferredHeight: 6
        radius: 3
        color: Theme.hairline
        Accessible.name: qsTr("Input level")
        Rectangle {
            height: parent.height
            width: Math.max(height, parent.width * Dictation.level)
            radius: 3
            color: Theme.brandBlue
            Behavior on width { NumberAnimation { duration: 50 } }
        }
    }
    Text {
        text: qsTr("Listening…")
        font.pixelSize: 13
        color: Theme.textSecondary
        elide: Text.ElideRight
        Layout.fillWidth: true
    }
    Button {
        text: qsTr("Discard")
        flat: true
        font.pixelSize: 12
        font.weight: Font.DemiBold
        onClicked: Dictation.discard()
    }
}
