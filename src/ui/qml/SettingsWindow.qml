import QtQuick
import QtQuick.Controls
import Tolvane

// The settings window (File ▸ Settings…, Ctrl+,).
Window {
    id: window
    title: qsTr("Settings")
    width: 460
    height: 460
    color: Theme.cardBackground
    Loader {
        anchors.fill: parent
        anchors.margins: 20
        active: window.visible
        sourceComponent: SettingsView { showHeader: false }
    }
}
