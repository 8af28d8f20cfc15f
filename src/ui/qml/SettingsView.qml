import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tolvane

// The settings form: connection, local server, identity, post preview.
ColumnLayout {
    id: view
    signal dismiss()
    property bool showHeader: true
    spacing: 12
    Component.onCompleted: SettingsPanel.open()

    component Caption: Text { font.pixelSize: 11; color: Theme.textSecondary; wrapMode: Text.Wrap; Layout.fillWidth: true }
    component Heading: Text { font.pixelSize: 13; font.weight: Font.DemiBold; color: Theme.textPrimary; topPadding: 6 }

    RowLayout {
        visible: view.showHeader
        Text { text: qsTr("Settings"); font.pixelSize: 15; font.weight: Font.DemiBold; color: Theme.textPrimary }
        Item { Layout.fillWidth: true }
        IconButton { iconName: "xmark"; tip: qsTr("Close"); onClicked: view.dismiss() }
    }
    Heading { text: qsTr("Connection") }
    RowLayout {
        Text { text: qsTr("Server"); color: Theme.textPrimary; font.pixelSize: 13 }
        TextEdit {
            text: SettingsPanel.serverAddress
            readOnly: true
            selectByMouse: true
            color: Theme.textSecondary
            font.pixelSize: 13
            Layout.fillWidth: true
            horizontalAlignment: TextEdit.AlignRight
        }
    }
    Caption { text: qsTr("Fixed for this build and managed by Tolvane.") }
    RowLayout {
        PushButton { text: qsTr("Test connection"); enabled: !SettingsPanel.testing; onClicked: SettingsPanel.testConnection() }
        BusyIndicator { visible: SettingsPanel.testing; running: visible; Layout.preferredWidth: 20; Layout.preferredHeight: 20 }
        Text { text: SettingsPanel.connectionStatus; color: Theme.textSecondary; font.pixelSize: 12; elide: Text.ElideRight; Layout.fillWidth: true }
    }
    RowLayout {
        visible: SettingsPanel.showLocalServer
        Text { text: qsTr("Local server"); color: Theme.textPrimary; font.pixelSize: 13 }
        Text {
            text: SettingsPanel.localServerText
            color: SettingsPanel.localServerRunning ? Theme.successText : Theme.warningText
            font.pixelSize: 13
            font.weight: Font.Medium
        }
        Item { Layout.fillWidth: true }
        PushButton { text: qsTr("Restart local server"); onClicked: SettingsPanel.restartLocalServer() }
    }
    Heading { text: qsTr("Identity") }
    RowLayout {
        Text { text: qsTr("Your user id"); color: Theme.textPrimary; font.pixelSize: 13 }
        TextEdit {
            text: SettingsPanel.userID
            readOnly: true
            selectByMouse: true
            color: Theme.textSecondary
            font.pixelSize: 12
            font.family: "monospace"
            Layout.fillWidth: true
            horizontalAlignment: TextEdit.AlignRight
        }
    }
    Caption { text: qsTr("Stable id tying this app to your coach's memory.") }
    Heading { text: qsTr("Post preview") }
    TextField {
        Layout.fillWidth: true
        placeholderText: qsTr("Handle (optional)")
        text: SettingsPanel.authorHandle
        onTextEdited: SettingsPanel.authorHandle = text
    }
    Caption { text: qsTr("Shown on the LinkedIn preview card.") }
    Item { Layout.fillHeight: true }
}
