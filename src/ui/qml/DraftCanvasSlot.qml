import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The draft canvas column: the draft the conversation points at.
Rectangle {
    color: theme.cardBackground
    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 10
        RowLayout {
            Text { text: qsTr("Draft"); font.pixelSize: 15; font.weight: Font.DemiBold; color: theme.textPrimary }
            Item { Layout.fillWidth: true }
            IconButton { iconName: "xmark"; tip: qsTr("Close"); onClicked: conversation.closeCanvas() }
        }
        DraftPreviewInline {
            Layout.fillWidth: true
            token: conversation.canvasToken
        }
        Item { Layout.fillHeight: true }
    }
}
