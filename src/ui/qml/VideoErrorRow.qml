import QtQuick
import QtQuick.Layouts
import Tolvane

// Why the last recording attempt failed, above the composer. Clicking the row
// puts it away.
RowLayout {
    id: row
    objectName: "videoErrorRow"
    visible: VideoMenuModel.errorText !== ""
    spacing: 6
    Icon { name: "exclamationmark.triangle.fill"; color: "red"; size: 11 }
    Text {
        Layout.fillWidth: true
        text: VideoMenuModel.errorText
        color: "red"
        font.pixelSize: 11
        wrapMode: Text.Wrap
    }
    TapHandler {
        objectName: "videoErrorTap"
        cursorShape: Qt.PointingHandCursor
        onTapped: VideoMenuModel.dismissError()
    }
}
