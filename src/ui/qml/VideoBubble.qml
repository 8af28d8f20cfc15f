import QtQuick
import QtQuick.Controls
import QtMultimedia

// A recorded short, played inline.
Rectangle {
    id: root
    property url source
    implicitWidth: 380
    implicitHeight: 220
    radius: 10
    color: "black"
    border.width: 1
    border.color: theme.hairline
    clip: true

    MediaPlayer {
        id: player
        source: root.source
        videoOutput: output
    }
    VideoOutput {
        id: output
        anchors.fill: parent
    }
    Row {
        anchors.left: parent.left
        anchors.bottom: parent.bottom
        anchors.margins: 8
        spacing: 8
        Button {
            text: player.playbackState === MediaPlayer.PlayingState ? qsTr("Pause") : qsTr("Play")
            onClicked: player.playbackState === MediaPlayer.PlayingState ? player.pause() : player.play()
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            color: "white"
            font.pixelSize: 12
            text: {
                const s = Math.floor(player.position / 1000)
                const d = Math.floor(player.duration / 1000)
                return Math.floor(s / 60) + ":" + String(s % 60).padStart(2, "0") + " / "
                        + Math.floor(d / 60) + ":" + String(d % 60).padStart(2, "0")
            }
        }
    }
}
