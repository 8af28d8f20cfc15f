import QtQuick
import QtQuick.Layouts

// How the post will look on LinkedIn.
Rectangle {
    color: theme.cardBackground
    border.width: 1
    border.color: theme.hairline
    radius: 8
    implicitHeight: card.implicitHeight + 28
    ColumnLayout {
        id: card
        x: 14
        y: 14
        width: parent.width - 28
        spacing: 10
        RowLayout {
            spacing: 10
            Rectangle {
                Layout.preferredWidth: 48
                Layout.preferredHeight: 48
                radius: 24
                color: theme.brandBlue
                clip: true
                Text {
                    anchors.centerIn: parent
                    visible: canvas.avatarUrl.toString() === ""
                    text: canvas.previewInitial
                    color: "white"
                    font.pixelSize: 20
                    font.bold: true
                }
                Image {
                    anchors.fill: parent
                    visible: canvas.avatarUrl.toString() !== ""
                    source: canvas.avatarUrl
                    fillMode: Image.PreserveAspectCrop
                }
            }
            ColumnLayout {
                spacing: 1
                Layout.fillWidth: true
                Text { text: canvas.previewName; font.pixelSize: 15; font.weight: Font.DemiBold; color: theme.textPrimary }
                Text {
                    visible: canvas.previewSubtitle !== ""
                    text: canvas.previewSubtitle
                    font.pixelSize: 12
                    color: theme.textSecondary
                    elide: Text.ElideRight
                    Layout.fillWidth: true
                }
                Row {
                    spacing: 3
                    Text { text: canvas.previewMeta; font.pixelSize: 12; color: theme.textSecondary }
                    Icon { name: "globe.americas.fill"; size: 9; anchors.verticalCenter: parent.verticalCenter }
                }
            }
            Icon { name: "ellipsis"; size: 16; Layout.alignment: Qt.AlignTop }
        }
        TextEdit {
            Layout.fillWidth: true
            text: canvas.previewBody
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            font.pixelSize: 14
            color: canvas.previewBodyIsPlaceholder ? theme.textSecondary : theme.textPrimary
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: theme.hairline }
        Text { text: canvas.previewFooter; font.pixelSize: 12; color: theme.textSecondary }
    }
}
