import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The settings form: connection, local server, identity, post preview.
ColumnLayout {
    id: view
    signal dismiss()
    property bool showHeader: true
    spacing: 12
    Component.onCompleted: settingsPanel.open()

    component Caption: Text { font.pixelSize: 11; color: theme.textSecondary; wrapMode: Text.Wrap; Layout.fillWidth: true }
    component Heading: Text { font.pixelSize: 13; font.weight: Font.DemiBold; color: theme.textPrimary; topPadding: 6 }

    RowLayout {
        visible: view.showHeader
        Text { text: qsTr("Settings"); font.pixelSize: 15; font.weight: Font.DemiBold; color: theme.textPrimary }
        Item { Layout.fillWidth: true }
        IconButton { iconName: "xmark"; tip: qsTr("Close"); onClicked: view.dismiss() }
    }
    Heading { text: qsTr("Connection") }
    RowLayout {
        Text { text: qsTr("Server"); color: theme.textPrimary; font.pixelSize: 13 }
        TextEdit {
            text: settingsPanel.serverAddress
            readOnly: true
            selectByMouse: true
            color: theme.textSecondary
            font.pixelSize: 13
            Layout.fillWidth: true
            horizontalAlignment: TextEdit.AlignRight
        }
    }
    Caption { text: qsTr("Fixed for this build and managed by Tolvane.") }
    RowLayout {
        Button { text: qsTr("Test connection"); enabled: !settingsPanel.testing; onClicked: settingsPanel.testConnection() }
        BusyIndicator { visible: settingsPanel.testing; running: visible; Layout.preferredWidth: 20; Layout.preferredHeight: 20 }
        Text { text: settingsPanel.connectionStatus; color: theme.textSecondary; font.pixelSize: 12; elide: Text.ElideRight; Layout.fillWidth: true }
    }
    RowLayout {
        visible: settingsPanel.showLocalServer
        Text { text: qsTr("Local server"); color: theme.textPrimary; font.pixelSize: 13 }
        Text {
            text: settingsPanel.localServerText
            color: settingsPanel.localServerRunning ? "#1E8E3E" : "#E8710A"
            font.pixelSize: 13
            font.weight: Font.Medium
        }
        Item { Layout.fillWidth: true }
        Button { text: qsTr("Restart local server"); onClicked: settingsPanel.restartLocalServer() }
    }
    Heading { text: qsTr("Identity") }
    RowLayout {
        Text { text: qsTr("Your user id"); color: theme.textPrimary; font.pixelSize: 13 }
        TextEdit {
            text: settingsPanel.userID
            readOnly: true
            selectByMouse: true
            color: theme.textSecondary
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
        text: settingsPanel.authorHandle
        onTextEdited: settingsPanel.authorHandle = text
    }
    Caption { text: qsTr("Shown on the LinkedIn preview card.") }
    Item { Layout.fillHeight: true }
}
