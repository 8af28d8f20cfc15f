import QtQuick
import QtQuick.Controls

// The settings window (File ▸ Settings…, Ctrl+,).
Window {
    id: window
    title: qsTr("Settings")
    width: 460
    height: 460
    color: theme.cardBackground
    Loader {
        anchors.fill: parent
        anchors.margins: 20
        active: window.visible
        sourceComponent: SettingsView { showHeader: false }
    }
}
