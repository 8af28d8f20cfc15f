import QtQuick
import QtQuick.Layouts
import Tolvane

// How the post will look on LinkedIn.
Rectangle {
    color: Theme.cardBackground
    border.width: 1
    border.color: Theme.hairline
    radius: 8
    implicitHeight: card.implicitHeight + 28
    ColumnLayout {
        id: card
        x: 14
        y: 14
        width: parent.width - 28
        spacing: 10
        RowLayout {
            Layout.fillWidth: true
            spacing: 10
            Rectangle {
                Layout.preferredWidth: 48
                Layout.preferredHeight: 48
                radius: 24
                color: Theme.brandBlue
                clip: true
                Text {
                    anchors.centerIn: parent
                    visible: !Draft.hasAvatar
                    text: Draft.previewInitial
                    color: "white"
                    font.pixelSize: 20
                    font.bold: true
                }
                Image {
                    anchors.fill: parent
                    visible: Draft.hasAvatar
                    source: Draft.avatarUrl
                    fillMode: Image.PreserveAspectCrop
                }
                CornerMask { visible: Draft.hasAvatar; radius: 24; matte: Theme.cardBackground }
            }
            ColumnLayout {
                spacing: 1
                Layout.fillWidth: true
                // Fills the row even with no subtitle, so the "…" keeps to the
                // card's right edge.
                Text {
                    text: Draft.previewName
                    font.pixelSize: 15
                    font.weight: Font.DemiBold
                    color: Theme.textPrimary
                    elide: Text.ElideRight
                    Layout.fillWidth: true
                }
                Text {
                    visible: Draft.previewSubtitle !== ""
                    text: Draft.previewSubtitle
                    font.pixelSize: 12
                    color: Theme.textSecondary
                    elide: Text.ElideRight
                    Layout.fillWidth: true
                }
                Row {
                    spacing: 3
                    Text { text: Draft.previewMeta; font.pixelSize: 12; color: Theme.textSecondary }
                    Icon { name: "globe.americas.fill"; size: 9; anchors.verticalCenter: parent.verticalCenter }
                }
            }
            Icon { objectName: "previewMore"; name: "ellipsis"; size: 16; Layout.alignment: Qt.AlignTop | Qt.AlignRight }
        }
        TextEdit {
            Layout.fillWidth: true
            text: Draft.previewBody
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            font.pixelSize: 14
            color: Draft.previewBodyIsPlaceholder ? Theme.textSecondary : Theme.textPrimary
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.hairline }
        Text { text: Draft.previewFooter; font.pixelSize: 12; color: Theme.textSecondary }
    }
}
