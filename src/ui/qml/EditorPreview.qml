import QtQuick
import QtMultimedia
import Tolvane

// The editor's live preview: the source recording framed as the rendered
// short crops it, inside a black 9:16 box, with the caption, the hook and
// the progress bar drawn over it. Every number comes from the editor's
// view-model; dragging the crop only moves the picture.
Rectangle {
    id: preview
    color: "black"
    clip: true

    // Spring-like entrances (a quick move with a slight overshoot).
    readonly property int springDuration: 280

    onWidthChanged: Editor.previewBoxSize = Qt.size(width, height)
    onHeightChanged: Editor.previewBoxSize = Qt.size(width, height)
    Component.onCompleted: Editor.previewBoxSize = Qt.size(width, height)

    VideoOutput {
        id: output
        objectName: "editorVideo"
        x: Editor.playerFrame.x
        y: Editor.playerFrame.y
        width: Editor.playerFrame.width
        height: Editor.playerFrame.height
        fillMode: Editor.playerFillsBox ? VideoOutput.PreserveAspectCrop : VideoOutput.Stretch
        visible: Editor.model !== null && Editor.model.loadError === ""
        Component.onCompleted: Editor.setVideoOutput(output)
        Component.onDestruction: Editor.setVideoOutput(null)
    }

    Text {
        anchors.centerIn: parent
        width: parent.width - 40
        visible: Editor.model !== null && Editor.model.loadError !== ""
        text: Editor.model ? Editor.model.loadError : ""
        color: "white"
        wrapMode: Text.Wrap
        horizontalAlignment: Text.AlignHCenter
        font.pixelSize: 13
    }

    // The hook: its lines on dark navy boxes near the top.
    Column {
        id: hook
        objectName: "editorHook"
        anchors.horizontalCenter: parent.horizontalCenter
        y: parent.height * 0.12
        spacing: 4
        opacity: Editor.hookVisible ? 1 : 0
        scale: Editor.hookVisible ? 1 : 0.85
        Behavior on opacity { NumberAnimation { duration: preview.springDuration } }
        Behavior on scale {
            NumberAnimation {
                duration: preview.springDuration
                easing.type: Easing.OutBack
                easing.overshoot: 0.8
            }
        }
        Repeater {
            model: Editor.hookLines
            delegate: Rectangle {
                required property string modelData
                anchors.horizontalCenter: parent ? parent.horizontalCenter : undefined
                width: line.implicitWidth + 16
                height: line.implicitHeight + 10
                color: Qt.rgba(0.1, 0.16, 0.23, 1)
                Text {
                    id: line
                    anchors.centerIn: parent
                    text: parent.modelData
                    color: "white"
                    font.pixelSize: 19
                    font.weight: Font.Black
                }
            }
        }
    }

    // The caption at the bottom, in the chosen look, the spoken word yellow.
    Item {
        id: caption
        objectName: "editorCaption"
        readonly property bool bubble: Editor.captionBubble
        readonly property int sideMargin: bubble ? 34 : 28
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.leftMargin: sideMargin
        anchors.rightMargin: sideMargin
        anchors.bottomMargin: parent.height * 0.14
        height: captionText.implicitHeight + (bubble ? 16 : 0)
        visible: opacity > 0
        opacity: Editor.captionVisible ? 1 : 0
        Behavior on opacity { NumberAnimation { duration: preview.springDuration } }

        // A new caption comes in from slightly smaller.
        Connections {
            target: Editor
            function onOverlaysChanged() {
                if (Editor.captionKey !== caption.shownKey) {
                    caption.shownKey = Editor.captionKey
                    entrance.restart()
                }
            }
        }
        property int shownKey: -1
        NumberAnimation {
            id: entrance
            target: caption
            property: "scale"
            from: 0.85
            to: 1
            duration: preview.springDuration
            easing.type: Easing.OutBack
            easing.overshoot: 0.8
        }

        Rectangle {
            anchors.centerIn: parent
            width: Math.min(parent.width, captionText.contentWidth + 28)
            height: parent.height
            radius: 12
            color: Qt.rgba(0, 0, 0, 0.62)
            visible: caption.bubble
        }
        // Shadow copy behind the heavy caption.
        Text {
            x: captionText.x
            y: captionText.y + 2
            width: captionText.width
            visible: !caption.bubble
            text: captionText.text
            textFormat: Text.RichText
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
            font: captionText.font
            color: Qt.rgba(0, 0, 0, 0.7)
        }
        Text {
            id: captionText
            anchors.verticalCenter: parent.verticalCenter
            width: parent.width - (caption.bubble ? 28 : 0)
            anchors.horizontalCenter: parent.horizontalCenter
            text: Editor.captionHtml
            textFormat: Text.RichText
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
            color: "white"
            style: caption.bubble ? Text.Normal : Text.Outline
            styleColor: "black"
            font.pixelSize: caption.bubble ? 18 : 24
            font.weight: caption.bubble ? Font.Bold : Font.Black
        }
    }

    // The progress within the trimmed stretch.
    Rectangle {
        objectName: "editorProgress"
        anchors.left: parent.left
        anchors.bottom: parent.bottom
        height: 5
        width: parent.width * Editor.previewProgress
        color: "white"
        visible: Editor.progressBarVisible
    }
}
