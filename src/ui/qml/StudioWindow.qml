import QtQuick
import QtQuick.Controls
import Tolvane

// The "Video Studio" window. Its content follows the studio: the finalizing
// progress while a recording is prepared, the editor once one is open, and
// the empty state otherwise.
Window {
    id: window
    title: qsTr("Video Studio")
    width: 980
    height: 720
    // The editor's content needs at least this much.
    minimumWidth: 860
    minimumHeight: 640
    color: Theme.appBackground
    // Controls and tooltips take the app's colours, light or dark.
    palette.window: Theme.cardBackground
    palette.windowText: Theme.textPrimary
    palette.base: Theme.cardBackground
    palette.text: Theme.textPrimary
    palette.button: Theme.raisedBackground
    palette.buttonText: Theme.textPrimary
    palette.highlight: Theme.brandBlue
    palette.highlightedText: "white"
    palette.mid: Theme.hairline
    palette.midlight: Theme.hairline
    palette.dark: Theme.textSecondary
    palette.light: Theme.raisedBackground
    palette.toolTipBase: Theme.raisedBackground
    palette.toolTipText: Theme.textPrimary
    palette.placeholderText: Theme.textSecondary

    readonly property bool preparing: Studio.phase === Studio.Preparing

    // Closing the window while a recording is open cancels its work and
    // drops it with its files.
    onClosing: Editor.windowClosed()
    Connections {
        target: Editor
        function onDismissRequested() { window.close() }
    }

    Loader {
        objectName: "studioEditor"
        anchors.fill: parent
        active: !window.preparing && Studio.editModel !== null
        sourceComponent: VideoEditor {}
    }

    Column {
        objectName: "studioPreparing"
        visible: window.preparing
        anchors.centerIn: parent
        spacing: 12
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Finalizing the recording before opening the editor.")
            font.pixelSize: 14
            font.weight: Font.DemiBold
            color: Theme.textPrimary
        }
        ProgressBar {
            id: progress
            anchors.horizontalCenter: parent.horizontalCenter
            width: 280
            from: 0
            to: 1
            value: Studio.phaseProgress
            Accessible.name: qsTr("Finalizing the recording")
            background: Rectangle { implicitHeight: 6; radius: 3; color: Theme.hairline }
            contentItem: Item {
                implicitHeight: 6
                Rectangle {
                    width: progress.visualPosition * parent.width
                    height: parent.height
                    radius: 3
                    color: Theme.brandBlue
                    Behavior on width { NumberAnimation { duration: 200 } }
                }
            }
        }
    }

    Column {
        objectName: "studioEmpty"
        // With a recording open the editor takes the window.
        visible: !window.preparing && Studio.editModel === null
        anchors.centerIn: parent
        spacing: 8
        Icon {
            anchors.horizontalCenter: parent.horizontalCenter
            name: "video.badge.plus"
            size: 40
            color: Theme.textSecondary
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("No recording open")
            font.pixelSize: 16
            font.weight: Font.DemiBold
            color: Theme.textPrimary
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Record a video from the chat composer and it lands here for trimming.")
            font.pixelSize: 13
            color: Theme.textSecondary
        }
    }
}
