import QtQuick
import QtQuick.Controls
import Tolvane

// The draft's preview card, loaded from the service; retried, then a retry view.
Item {
    id: root
    property alias token: preview.token
    signal enlarge(var images, int index)
    implicitWidth: 380
    // Within the bubble at any width: the box and the picture take the width
    // they are given, at most 380.
    implicitHeight: preview.failed ? 160 : (preview.imageSource === "" ? Math.min(220, width * 0.58) : loaded.implicitHeight)

    DraftPreview { id: preview }
    Connections {
        target: Application
        function onStateChanged() {
            if (Application.state === Qt.ApplicationActive)
                preview.load(false)
        }
    }

    Rectangle {
        visible: preview.imageSource === "" && !preview.failed
        anchors.fill: parent
        radius: 10
        color: "transparent"
        border.width: 1
        border.color: Theme.hairline
        BusyIndicator { objectName: "previewLoading"; anchors.centerIn: parent; running: parent.visible }
    }
    AbstractButton {
        visible: preview.failed
        anchors.fill: parent
        onClicked: preview.load(true)
        Accessible.name: qsTr("Couldn't load the preview — tap to retry")
        background: Rectangle { radius: 10; color: "transparent"; border.width: 1; border.color: Theme.hairline }
        contentItem: Column {
            spacing: 8
            topPadding: 50
            Icon { anchors.horizontalCenter: parent.horizontalCenter; name: "arrow.clockwise"; size: 20 }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("Couldn't load the preview — tap to retry")
                color: Theme.textSecondary
                font.pixelSize: 12
            }
        }
    }
    ClickableImage {
        id: loaded
        visible: preview.imageSource !== ""
        source: preview.imageSource
        maxWidth: root.width
        onEnlarge: (images, index) => root.enlarge(images, index)
    }
}
