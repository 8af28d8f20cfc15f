import QtQuick
import QtQuick.Controls
import Tolvane

// The "qmllint disable unqualified" lines reach ids around their delegate;
// Qt 6.4's linter cannot follow that (its bound-component pragma breaks
// Loaders and models at run time in 6.4).

Popup {
    id: sheet
    modal: true
    focus: true
    anchors.centerIn: Overlay.overlay
    width: 460
    height: 460
    padding: 20
    background: Rectangle { color: Theme.cardBackground; radius: 12; border.color: Theme.hairline }
    contentItem: Loader {
        active: sheet.visible
        sourceComponent: SettingsView { onDismiss: sheet.close() } // qmllint disable unqualified
    }
}
