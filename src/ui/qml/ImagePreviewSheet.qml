import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tolvane

// Enlarged message images: zoom, pages and the desktop viewer.
Popup {
    id: sheet
    modal: true
    focus: true
    anchors.centerIn: Overlay.overlay
    width: Math.max(520, Math.min(900, parent ? parent.width - 40 : 900))
    height: Math.max(420, Math.min(720, parent ? parent.height - 40 : 720))
    padding: 0
    property ImagePreviewModel model: ImagePreviewModel {}

    function show(images: var, index: int) {
        model.open(images, index)
        open()
    }

    background: Rectangle { color: Theme.cardBackground; radius: 12; border.color: Theme.hairline }

    // A child rather than the content item: the ids inside it are used at once.
    ColumnLayout {
        anchors.fill: parent
        spacing: 0
        focus: true
        Keys.onLeftPressed: sheet.model.previous()
        Keys.onRightPressed: sheet.model.next()
        Keys.onEscapePressed: sheet.close()

        RowLayout {
            Layout.fillWidth: true
            Layout.margins: 10
            spacing: 8
            IconButton { iconName: "minus.magnifyingglass"; tip: qsTr("Zoom out"); onClicked: sheet.model.zoomOut() }
            Text {
                text: sheet.model.zoomText
                color: Theme.textPrimary
                horizontalAlignment: Text.AlignHCenter
                Layout.preferredWidth: 44
            }
            IconButton { iconName: "plus.magnifyingglass"; tip: qsTr("Zoom in"); onClicked: sheet.model.zoomIn() }
            PushButton { text: qsTr("Reset"); onClicked: sheet.model.resetZoom() }
            Item { Layout.fillWidth: true }
            IconButton { visible: sheet.model.paged; iconName: "chevron.left"; tip: qsTr("Previous page"); onClicked: sheet.model.previous() }
            Text { visible: sheet.model.paged; text: sheet.model.counterText; color: Theme.textPrimary }
            IconButton { visible: sheet.model.paged; iconName: "chevron.right"; tip: qsTr("Next page"); onClicked: sheet.model.next() }
            // The desktop's default image viewer.
            PushButton {
                objectName: "openInViewer"
                text: qsTr("Open in Image Viewer")
                iconName: "arrow.up.forward.app"
                onClicked: sheet.model.openInViewer()
            }
            IconButton { iconName: "xmark.circle.fill"; tip: qsTr("Close"); onClicked: sheet.close() }
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.hairline }
        Flickable {
            id: flick
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            contentWidth: Math.max(width, picture.width)
            contentHeight: Math.max(height, picture.height)
            ScrollBar.vertical: ScrollBar {}
            ScrollBar.horizontal: ScrollBar {}
            Image {
                id: picture
                source: sheet.model.current
                width: sourceSize.width * sheet.model.zoom
                height: sourceSize.height * sheet.model.zoom
                x: Math.max(0, (flick.width - width) / 2)
                y: Math.max(0, (flick.height - height) / 2)
                smooth: true
                mipmap: true
            }
        }
    }
}
