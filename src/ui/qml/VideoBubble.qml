import QtQuick
import QtQuick.Controls
import QtMultimedia
import Tolvane

// A recorded short, played inline: its first picture until it plays, a large
// play button, and a control bar (play/pause, time, seek, sound) that shows
// while paused or under the pointer. Space plays and pauses when focused.
Rectangle {
    id: bubble
    property string source
    implicitWidth: 380
    implicitHeight: 220
    radius: 10
    color: "black"
    border.width: 1
    border.color: Theme.hairline
    clip: true
    activeFocusOnTab: true
    Accessible.role: Accessible.Animation
    Accessible.name: qsTr("Video")

    readonly property bool playing: player.playbackState === MediaPlayer.PlayingState
    readonly property bool started: player.playbackState !== MediaPlayer.StoppedState
    // A poster that can't be made only leaves the picture black; the player
    // decides whether the movie plays.
    readonly property bool failed: player.error !== MediaPlayer.NoError

    function toggle() {
        if (failed)
            return
        if (playing)
            player.pause()
        else
            player.play()
    }
    function clock(ms) {
        const s = Math.floor(Math.max(0, ms) / 1000)
        return Math.floor(s / 60) + ":" + String(s % 60).padStart(2, "0")
    }

    Keys.onSpacePressed: toggle()

    // Without a sound device the picture plays alone: the player's audio
    // path must not be set up with nothing to write to.
    MediaDevices { id: devices }
    AudioOutput { id: sound }
    MediaPlayer {
        id: player
        source: bubble.source
        videoOutput: output
        audioOutput: devices.audioOutputs.length > 0 ? sound : null
    }
    Image {
        id: poster
        anchors.fill: parent
        anchors.margins: 1
        visible: !bubble.started
        asynchronous: true
        fillMode: Image.PreserveAspectFit
        sourceSize.height: 440
        source: bubble.source === "" ? ""
                : "image://poster/" + encodeURIComponent(bubble.source)
    }
    VideoOutput {
        id: output
        anchors.fill: parent
        anchors.margins: 1
        visible: bubble.started
    }

    HoverHandler { id: hover }
    TapHandler { onTapped: { bubble.forceActiveFocus(); bubble.toggle() } }

    // The large play button over a paused or unplayed video.
    Rectangle {
        anchors.centerIn: parent
        width: 52
        height: 52
        radius: 26
        color: Qt.rgba(0, 0, 0, 0.55)
        visible: !bubble.playing && !bubble.failed
        Icon {
            anchors.centerIn: parent
            anchors.horizontalCenterOffset: 2
            name: "play.fill"
            color: "white"
            size: 24
        }
    }

    Column {
        anchors.centerIn: parent
        spacing: 6
        visible: bubble.failed
        Icon {
            anchors.horizontalCenter: parent.horizontalCenter
            name: "exclamationmark.triangle.fill"
            color: "#FFD60A"
            size: 22
        }
        Text {
            width: bubble.width - 40
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            color: "white"
            font.pixelSize: 12
            text: qsTr("This video can't be played here. The file may have been moved or deleted.")
        }
    }

    // The inline control bar.
    Rectangle {
        id: controls
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 1
        height: 36
        visible: !bubble.failed && (hover.hovered || !bubble.playing || bubble.activeFocus)
        gradient: Gradient {
            GradientStop { position: 0; color: Qt.rgba(0, 0, 0, 0) }
            GradientStop { position: 1; color: Qt.rgba(0, 0, 0, 0.7) }
        }
        Row {
            anchors.fill: parent
            anchors.leftMargin: 6
            anchors.rightMargin: 6
            spacing: 6
            IconButton {
                anchors.verticalCenter: parent.verticalCenter
                iconName: bubble.playing ? "pause.fill" : "play.fill"
                iconSize: 14
                tint: "white"
                tip: bubble.playing ? qsTr("Pause") : qsTr("Play")
                onClicked: bubble.toggle()
            }
            Text {
                id: time
                anchors.verticalCenter: parent.verticalCenter
                color: "white"
                font.pixelSize: 11
                // A fixed width, so the seek bar does not shift as digits change.
                width: widest.width + 2
                TextMetrics { id: widest; font: time.font; text: "00:00 / 00:00" }
                // The player's position and duration are qlonglong, a type Qt 6.4's QML
                // type files never declare.
                // qmllint disable type
                text: bubble.clock(player.position) + " / " + bubble.clock(player.duration)
            }
            Slider {
                id: seek
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width - x - (mute.visible ? mute.width + parent.spacing : 0)
                from: 0
                to: Math.max(1, player.duration)
                enabled: player.seekable
                focusPolicy: Qt.NoFocus
                Accessible.name: qsTr("Position")
                value: pressed ? value : player.position
                // qmllint enable type
                onMoved: player.position = value
                background: Rectangle {
                    x: seek.leftPadding
                    y: seek.topPadding + seek.availableHeight / 2 - height / 2
                    width: seek.availableWidth
                    height: 3
                    radius: 1.5
                    color: Qt.rgba(1, 1, 1, 0.35)
                    Rectangle {
                        width: seek.visualPosition * parent.width
                        height: parent.height
                        radius: 1.5
                        color: "white"
                    }
                }
                handle: Rectangle {
                    x: seek.leftPadding + seek.visualPosition * (seek.availableWidth - width)
                    y: seek.topPadding + seek.availableHeight / 2 - height / 2
                    width: 11
                    height: 11
                    radius: 5.5
                    color: "white"
                }
            }
            IconButton {
                id: mute
                visible: player.audioOutput !== null
                anchors.verticalCenter: parent.verticalCenter
                iconName: sound.muted ? "speaker.slash.fill" : "speaker.wave.2.fill"
                iconSize: 14
                tint: "white"
                tip: sound.muted ? qsTr("Unmute") : qsTr("Mute")
                onClicked: sound.muted = !sound.muted
            }
        }
    }
}
