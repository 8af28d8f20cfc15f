import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The support form, and the thank-you once the note is sent.
Popup {
    id: sheet
    modal: true
    focus: true
    anchors.centerIn: Overlay.overlay
    width: 460
    height: 460
    padding: 20
    onAboutToShow: support.open()
    background: Rectangle { color: theme.cardBackground; radius: 12; border.color: theme.hairline }
    contentItem: ColumnLayout {
        spacing: 10
        RowLayout {
            Text { text: qsTr("Support"); font.pixelSize: 15; font.weight: Font.DemiBold; color: theme.textPrimary }
            Rectangle { width: 7; height: 7; radius: 3.5; color: "#1E8E3E" }
            Text { text: qsTr("Online"); color: theme.textSecondary; font.pixelSize: 12 }
            Item { Layout.fillWidth: true }
            IconButton { iconName: "xmark"; tip: qsTr("Close"); onClicked: sheet.close() }
        }
        ColumnLayout {
            visible: !support.sent
            spacing: 10
            Text {
                Layout.fillWidth: true
                text: qsTr("Hit a snag or something's broken? Send us a note and a human on the team will reply by email.")
                color: theme.textSecondary
                font.pixelSize: 13
                wrapMode: Text.Wrap
            }
            Text { text: qsTr("Your email"); font.pixelSize: 13; font.weight: Font.Medium; color: theme.textPrimary }
            TextField {
                Layout.fillWidth: true
                text: support.email
                onTextEdited: support.email = text
                placeholderText: support.emailPlaceholder
                inputMethodHints: Qt.ImhEmailCharactersOnly | Qt.ImhNoPredictiveText
            }
            Text { text: qsTr("How can we help?"); font.pixelSize: 13; font.weight: Font.Medium; color: theme.textSecondary }
            Rectangle {
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.minimumHeight: 150
                color: theme.cardBackground
                border.width: 1
                border.color: theme.hairline
                radius: 8
                ScrollView {
                    anchors.fill: parent
                    TextArea {
                        text: support.message
                        onTextChanged: if (support.message !== text) support.message = text
                        wrapMode: TextArea.Wrap
                        color: theme.textPrimary
                        background: null
                        Accessible.name: qsTr("Message")
                    }
                }
            }
            Text { visible: support.hasError; text: support.error; color: "#D93025"; font.pixelSize: 12; wrapMode: Text.Wrap; Layout.fillWidth: true }
            Button {
                Layout.alignment: Qt.AlignRight
                enabled: support.canSend && !support.sending
                text: support.sending ? qsTr("Sending…") : qsTr("Send")
                font.weight: Font.DemiBold
                palette.button: theme.brandBlue
                palette.buttonText: "white"
                onClicked: support.send()
            }
        }
        ColumnLayout {
            visible: support.sent
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 12
            Item { Layout.fillHeight: true }
            Icon { name: "checkmark.circle.fill"; color: "#1E8E3E"; size: 44; Layout.alignment: Qt.AlignHCenter }
            Text { text: qsTr("Message sent"); font.weight: Font.DemiBold; font.pixelSize: 15; color: theme.textPrimary; Layout.alignment: Qt.AlignHCenter }
            Text {
                text: support.thanksText
                color: theme.textSecondary
                font.pixelSize: 13
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                Layout.preferredWidth: 320
                Layout.alignment: Qt.AlignHCenter
            }
            Button { text: qsTr("Done"); Layout.alignment: Qt.AlignHCenter; onClicked: sheet.close() }
            Item { Layout.fillHeight: true }
        }
    }
}
