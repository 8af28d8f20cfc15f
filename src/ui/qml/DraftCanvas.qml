import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tolvane

// The draft canvas: edit the post beside its LinkedIn preview, then post or
// schedule it.
Rectangle {
    id: panel
    color: Theme.appBackground

    component SectionTitle: Text {
        font.pixelSize: 11
        font.weight: Font.DemiBold
        font.capitalization: Font.AllUppercase
        color: Theme.textSecondary
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0
        RowLayout {
            Layout.fillWidth: true
            Layout.margins: 14
            spacing: 8
            Icon { name: "square.and.pencil"; size: 16; color: Theme.textPrimary }
            Text { text: qsTr("Edit post"); font.pixelSize: 14; font.weight: Font.DemiBold; color: Theme.textPrimary }
            Item { Layout.fillWidth: true }
            IconButton { objectName: "canvasClose"; iconName: "xmark"; tip: qsTr("Close (Esc)"); onClicked: Draft.close() }
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.hairline }
        Flickable {
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            contentWidth: width
            contentHeight: body.implicitHeight + 32
            ScrollBar.vertical: ScrollBar {}
            ColumnLayout {
                id: body
                x: 16
                y: 16
                width: parent.width - 32
                spacing: 10
                SectionTitle { text: qsTr("Post") }
                Rectangle {
                    Layout.fillWidth: true
                    Layout.preferredHeight: Math.max(200, editor.implicitHeight + 16)
                    radius: 10
                    color: Theme.cardBackground
                    border.width: 1
                    border.color: editor.activeFocus ? Theme.brandBlue : Theme.hairline
                    TextArea {
                        id: editor
                        anchors.fill: parent
                        padding: 8
                        text: Draft.text
                        onTextChanged: if (Draft.text !== text) Draft.text = text
                        wrapMode: TextArea.Wrap
                        font.pixelSize: 14
                        color: Theme.textPrimary
                        background: null
                        Accessible.name: qsTr("Post text")
                    }
                }
                SectionTitle { text: qsTr("Live preview") }
                LinkedInPreviewCard { Layout.fillWidth: true }
                SectionTitle { text: qsTr("Schedule") }
                ToggleSwitch {
                    text: qsTr("Post now")
                    checked: Draft.scheduleNow
                    onToggled: Draft.scheduleNow = checked
                }
                DateTimeField {
                    visible: !Draft.scheduleNow
                    Layout.fillWidth: true
                }
                StatusBanner {
                    visible: Draft.statusKind !== Draft.Hidden
                    Layout.fillWidth: true
                    error: Draft.statusKind === Draft.Error
                    text: Draft.statusMessage
                }
            }
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.hairline }
        RowLayout {
            Layout.fillWidth: true
            Layout.margins: 12
            Text { text: Draft.characterCountText; color: Theme.textSecondary; font.pixelSize: 12 }
            Item { Layout.fillWidth: true }
            BusyIndicator { visible: Draft.busy; running: visible; Layout.preferredWidth: 24; Layout.preferredHeight: 24 }
            PushButton {
                objectName: "postButton"
                visible: !Draft.busy
                text: Draft.buttonText
                enabled: Draft.canSubmit
                prominent: true
                onClicked: Draft.submit()
            }
        }
    }
}
