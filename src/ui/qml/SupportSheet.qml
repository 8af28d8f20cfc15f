import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tolvane

// The support form, and the thank-you once the note is sent.
Popup {
    id: sheet
    modal: true
    focus: true
    anchors.centerIn: Overlay.overlay
    width: 460
    height: 460
    padding: 20
    onAboutToShow: Support.open()
    background: Rectangle { color: Theme.cardBackground; radius: 12; border.color: Theme.hairline }
    contentItem: ColumnLayout {
        spacing: 10
        RowLayout {
            Text { text: qsTr("Support"); font.pixelSize: 15; font.weight: Font.DemiBold; color: Theme.textPrimary }
            Rectangle { width: 7; height: 7; radius: 3.5; color: "#1E8E3E" }
            Text { text: qsTr("Online"); color: Theme.textSecondary; font.pixelSize: 12 }
            Item { Layout.fillWidth: true }
            IconButton { iconName: "xmark"; tip: qsTr("Close"); onClicked: sheet.close() }
        }
        ColumnLayout {
            visible: !Support.sent
            spacing: 10
            Text {
                Layout.fillWidth: true
                text: qsTr("Hit a snag or something's broken? Send us a note and a human on the team will reply by email.")
                color: Theme.textSecondary
                font.pixelSize: 13
                wrapMode: Text.Wrap
            }
            Text { text: qsTr("Your email"); font.pixelSize: 13; font.weight: Font.Medium; color: Theme.textPrimary }
            TextField {
                Layout.fillWidth: true
                text: Support.email
                onTextEdited: Support.email = text
                placeholderText: Support.emailPlaceholder
                inputMethodHints: Qt.ImhEmailCharactersOnly | Qt.ImhNoPredictiveText
            }
            Text { text: qsTr("How can we help?"); font.pixelSize: 13; font.weight: Font.Medium; color: Theme.textSecondary }
            Rectangle {
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.minimumHeight: 150
                color: Theme.cardBackground
                border.width: 1
                border.color: Theme.hairline
                radius: 8
                ScrollView {
                    anchors.fill: parent
                    TextArea {
                        text: Support.message
                        onTextChanged: if (Support.message !== text) Support.message = text
                        wrapMode: TextArea.Wrap
                        color: Theme.textPrimary
                        background: null
                        Accessible.name: qsTr("Message")
                    }
                }
            }
            Text { visible: Support.hasError; text: Support.error; color: Theme.errorText; font.pixelSize: 12; wrapMode: Text.Wrap; Layout.fillWidth: true }
            PushButton {
                objectName: "supportSend"
                Layout.alignment: Qt.AlignRight
                enabled: Support.canSend && !Support.sending
                text: Support.sending ? qsTr("Sending…") : qsTr("Send")
                prominent: true
                onClicked: Support.send()
            }
        }
        ColumnLayout {
            visible: Support.sent
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 12
            Item { Layout.fillHeight: true }
            Icon { name: "checkmark.circle.fill"; color: "#1E8E3E"; size: 44; Layout.alignment: Qt.AlignHCenter }
            Text { text: qsTr("Message sent"); font.weight: Font.DemiBold; font.pixelSize: 15; color: Theme.textPrimary; Layout.alignment: Qt.AlignHCenter }
            Text {
                text: Support.thanksText
                color: Theme.textSecondary
                font.pixelSize: 13
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                Layout.preferredWidth: 320
                Layout.alignment: Qt.AlignHCenter
            }
            PushButton { text: qsTr("Done"); prominent: true; Layout.alignment: Qt.AlignHCenter; onClicked: sheet.close() }
            Item { Layout.fillHeight: true }
        }
    }
}
