import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Window
import Tolvane

// The floating recording window: the live picture, the 3-2-1 countdown, the
// running time, discard and stop. A frameless tool window above all others
// that never takes the focus from where the user is typing; dragging it
// anywhere moves it. Each showing starts centred on the primary screen.
Window {
    id: hud
    objectName: "recordingHud"
    title: qsTr("Recording")
    width: 240
    height: 320
    minimumWidth: 240
    maximumWidth: 240
    minimumHeight: 320
    maximumHeight: 320
    flags: Qt.Tool | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint | Qt.WindowDoesNotAcceptFocus
    color: "transparent"
    // Stays up when the main window is minimized: the user may be recording
    // over another app.
    transientParent: null

    function follow() {
        if (RecordingHudModel.visible) {
            const origin = RecordingHudModel.placement()
            if (origin !== undefined) {
                hud.x = origin.x
                hud.y = origin.y
            }
            hud.visible = true
        } else {
            hud.visible = false
        }
    }
    Component.onCompleted: follow()
    Connections {
        target: RecordingHudModel
        function onVisibleChanged() { hud.follow() }
    }

    Rectangle {
        anchors.fill: parent
        radius: 14
        color: Theme.cardBackground
        border.width: 1
        border.color: Theme.hairline

        DragHandler {
            target: null
            onActiveChanged: if (active) hud.startSystemMove()
        }

        Item {
            id: preview
            objectName: "hudPreview"
            x: 20
            y: 20
            width: 200
            height: 240
            clip: true
            Rectangle { anchors.fill: parent; color: "black" }
            Image {
                objectName: "hudPicture"
                anchors.fill: parent
                visible: RecordingHudModel.hasPicture
                source: RecordingHudModel.pictureSource
                // A new address per picture; each is shown once.
                cache: false
                fillMode: Image.PreserveAspectCrop
                smooth: true
            }
            Icon {
                objectName: "hudSymbol"
                anchors.centerIn: parent
                visible: !RecordingHudModel.hasPicture
                name: "video.fill"
                size: 24
                color: "white"
                opacity: 0.4
            }
            Rectangle {
                anchors.fill: parent
                visible: RecordingHudModel.countingDown
                color: "black"
                opacity: 0.33
            }
            Text {
                id: number
                objectName: "hudCountdown"
                anchors.centerIn: parent
                visible: RecordingHudModel.countingDown
                text: RecordingHudModel.countdown
                color: "white"
                font.pixelSize: 96
                font.bold: true
                // Each new number drops in from above and springs into place.
                onTextChanged: arrive.restart()
                ParallelAnimation {
                    id: arrive
                    NumberAnimation { target: number; property: "anchors.verticalCenterOffset"; from: -40; to: 0; duration: 450; easing.type: Easing.OutBack; easing.overshoot: 1.6 }
                    NumberAnimation { target: number; property: "opacity"; from: 0; to: 1; duration: 220 }
                }
            }
            RoundedCorners { cornerRadius: 10; surroundColor: Theme.cardBackground }
        }

        RowLayout {
            x: 20
            y: 270
            width: 200
            height: 36
            spacing: 8
            Text {
                objectName: "hudGetReady"
                visible: RecordingHudModel.countingDown
                text: qsTr("Get ready…")
                color: Theme.textPrimary
                font.pixelSize: 13
                font.weight: Font.DemiBold
            }
            Rectangle {
                visible: !RecordingHudModel.countingDown
                Layout.preferredWidth: 8
                Layout.preferredHeight: 8
                radius: 4
                color: "#FF3B30"
            }
            Text {
                objectName: "hudTime"
                visible: !RecordingHudModel.countingDown
                text: RecordingHudModel.timeText
                color: Theme.textPrimary
                font.pixelSize: 13
                font.family: "monospace"
            }
            Item { Layout.fillWidth: true }
            IconButton {
                objectName: "hudDiscard"
                iconName: "xmark.circle.fill"
                iconSize: 22
                focusPolicy: Qt.NoFocus
                tip: qsTr("Discard recording")
                onClicked: RecordingHudModel.discard()
            }
            IconButton {
                objectName: "hudStop"
                visible: RecordingHudModel.stopVisible
                iconName: "stop.circle.fill"
                iconSize: 22
                tint: "#FF3B30"
                focusPolicy: Qt.NoFocus
                tip: qsTr("Stop and edit")
                onClicked: RecordingHudModel.stop()
            }
        }
    }
}
