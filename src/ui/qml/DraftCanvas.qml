import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The draft canvas: edit the post beside its LinkedIn preview, then post or
// schedule it.
Rectangle {
    id: panel
    color: theme.appBackground

    component SectionTitle: Text {
        font.pixelSize: 11
        font.weight: Font.DemiBold
        font.capitalization: Font.AllUppercase
        color: theme.textSecondary
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0
        RowLayout {
            Layout.fillWidth: true
            Layout.margins: 14
            spacing: 8
            Icon { name: "square.and.pencil"; size: 16; color: theme.textPrimary }
            Text { text: qsTr("Edit post"); font.pixelSize: 14; font.weight: Font.DemiBold; color: theme.textPrimary }
            Item { Layout.fillWidth: true }
            IconButton { iconName: "xmark"; tip: qsTr("Close"); onClicked: canvas.close() }
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: theme.hairline }
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
                    color: theme.cardBackground
                    border.width: 1
                    border.color: editor.activeFocus ? theme.brandBlue : theme.hairline
                    TextArea {
                        id: editor
                        anchors.fill: parent
                        padding: 8
                        text: canvas.text
                        onTextChanged: if (canvas.text !== text) canvas.text = text
                        wrapMode: TextArea.Wrap
                        font.pixelSize: 14
                        color: theme.textPrimary
                        background: null
                        Accessible.name: qsTr("Post text")
                    }
                }
                SectionTitle { text: qsTr("Live preview") }
                LinkedInPreviewCard { Layout.fillWidth: true }
                SectionTitle { text: qsTr("Schedule") }
                Switch {
                    text: qsTr("Post now")
                    checked: canvas.scheduleNow
                    onToggled: canvas.scheduleNow = checked
                }
                DateTimeField {
                    visible: !canvas.scheduleNow
                    Layout.fillWidth: true
                }
                StatusBanner {
                    visible: canvas.statusKind !== 0
                    Layout.fillWidth: true
                    error: canvas.statusKind === 2
                    text: canvas.statusMessage
                }
            }
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: theme.hairline }
        RowLayout {
            Layout.fillWidth: true
            Layout.margins: 12
            Text { text: canvas.characterCountText; color: theme.textSecondary; font.pixelSize: 12 }
            Item { Layout.fillWidth: true }
            BusyIndicator { visible: canvas.busy; running: visible; Layout.preferredWidth: 24; Layout.preferredHeight: 24 }
            Button {
                visible: !canvas.busy
                text: canvas.buttonText
                enabled: canvas.canSubmit
                onClicked: canvas.submit()
                palette.button: theme.brandBlue
                palette.buttonText: "white"
                font.weight: Font.DemiBold
            }
        }
    }
}
