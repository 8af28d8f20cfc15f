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
    // Controls and tooltips take the app's colours, light or dark.
    palette.window: Theme.cardBackground
    palette.windowText: Theme.textPrimary
    palette.base: Theme.cardBackground
    palette.text: Theme.textPrimary
    palette.button: Theme.raisedBackground
    palette.buttonText: Theme.textPrimary
    palette.highlight: Theme.brandBlue
    palette.highlightedText: "white"
    palette.mid: Theme.hairline
    palette.midlight: Theme.hairline
    palette.dark: Theme.textSecondary
    palette.light: Theme.raisedBackground
    palette.toolTipBase: Theme.raisedBackground
    palette.toolTipText: Theme.textPrimary
    palette.placeholderText: Theme.textSecondary
    Loader {
        anchors.fill: parent
        anchors.margins: 20
        active: window.visible
        sourceComponent: SettingsView { showHeader: false }
    }
}
