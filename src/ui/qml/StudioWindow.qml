import QtQuick
import QtQuick.Controls

// The "Video Studio" window; shows its empty state until a recording is open.
Window {
    title: qsTr("Video Studio")
    width: 980
    height: 720
    minimumWidth: 640
    minimumHeight: 480
    color: theme.appBackground
    Column {
        anchors.centerIn: parent
        spacing: 8
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("No recording open")
            font.pixelSize: 16
            font.weight: Font.DemiBold
            color: theme.textPrimary
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Record a video from the chat composer and it lands here for trimming.")
            font.pixelSize: 13
            color: theme.textSecondary
        }
    }
}
