import QtQuick
import QtQuick.Controls

Popup {
    id: sheet
    modal: true
    focus: true
    anchors.centerIn: Overlay.overlay
    width: 460
    height: 460
    padding: 20
    background: Rectangle { color: theme.cardBackground; radius: 12; border.color: theme.hairline }
    contentItem: Loader {
        active: sheet.visible
        sourceComponent: SettingsView { onDismiss: sheet.close() }
    }
}
