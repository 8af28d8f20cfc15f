import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Window
import Tolvane

// The main window: banners above the chat, the draft canvas sliding in at the
// right while the conversation holds a draft token.
ApplicationWindow {
    id: window
    visible: true
    minimumWidth: 720
    minimumHeight: 560
    title: "Tolvane"
    color: Theme.appBackground
    // Controls (menus, buttons, fields) take the app's colours, light or dark.
    palette.window: Theme.cardBackground
    palette.windowText: Theme.textPrimary
    palette.base: Theme.cardBackground
    palette.text: Theme.textPrimary
    palette.button: Theme.raisedBackground
    palette.buttonText: Theme.textPrimary
    palette.brightText: Theme.textPrimary
    palette.highlight: Theme.brandBlue
    palette.highlightedText: "white"
    palette.link: Theme.brandBlue
    palette.mid: Theme.hairline
    palette.light: Theme.raisedBackground
    palette.dark: Theme.hairline

    menuBar: MenuBar {
        AppMenu {
            title: qsTr("&File")
            Action { text: qsTr("&Settings…"); shortcut: "Ctrl+,"; onTriggered: settingsWindow.showNormal() }
            Action { text: qsTr("&Video Studio"); onTriggered: studioWindow.showNormal() }
            MenuSeparator {}
            Action { text: qsTr("&Quit"); shortcut: "Ctrl+Q"; onTriggered: Qt.quit() }
        }
        AppMenu {
            title: qsTr("&Edit")
            Action { text: qsTr("Clear Conversation (Keeps Memory)"); shortcut: "Ctrl+Shift+K"; onTriggered: Conversation.send("/clear") }
            Action { text: qsTr("Forget Me (Erase Everything)…"); onTriggered: Conversation.send("/forgetme") }
        }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Banner {
            visible: Root.updateVisible
            Layout.fillWidth: true
            icon: "arrow.down.circle.fill"
            iconColor: Theme.brandBlue
            tint: Theme.brandBlue
            tintOpacity: 0.12
            text: Root.updateTitle
            notes: Root.updateNotes
            LinkText {
                visible: Root.updateUrl !== ""
                url: Root.updateUrl
                text: qsTr("Download")
                font.pixelSize: 12
                font.weight: Font.DemiBold
                font.underline: false
            }
            IconButton { iconName: "xmark"; iconSize: 12; tip: qsTr("Dismiss"); onClicked: Root.dismissUpdate() }
        }
        Banner {
            visible: Root.serverBannerVisible
            Layout.fillWidth: true
            icon: "exclamationmark.triangle.fill"
            iconColor: "#E0A000"
            tint: "#FFD60A"
            text: Root.serverBannerText
            Button {
                text: qsTr("Retry")
                flat: true
                font.pixelSize: 12
                font.weight: Font.DemiBold
                onClicked: Root.retryServer()
            }
        }

        Banner {
            visible: Root.saveBannerVisible
            Layout.fillWidth: true
            icon: "exclamationmark.triangle.fill"
            iconColor: "#E0A000"
            tint: "#FFD60A"
            text: Root.saveBannerText
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 0
            ChatView {
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.minimumWidth: 420
                onEnlarge: (images, index) => preview.show(images, index)
            }
            // The draft canvas slot: 420 wide, sliding in from the right edge.
            Item {
                id: canvasSlot
                readonly property bool shown: Draft.isOpen
                Layout.fillHeight: true
                Layout.preferredWidth: shown ? 421 : 0
                clip: true
                opacity: shown ? 1 : 0
                // Follows a spring of response 0.35 s and damping fraction 0.85:
                // quick, with a barely visible overshoot.
                Behavior on Layout.preferredWidth {
                    NumberAnimation { duration: 400; easing.type: Easing.OutBack; easing.overshoot: 0.5 }
                }
                Behavior on opacity { NumberAnimation { duration: 250 } }
                Rectangle { width: 1; height: parent.height; color: Theme.hairline }
                Loader {
                    x: 1
                    // Fills the slot while the spring overshoots.
                    width: Math.max(420, canvasSlot.width - 1)
                    height: parent.height
                    active: canvasSlot.shown || canvasSlot.opacity > 0
                    source: "DraftCanvas.qml"
                }
            }
        }
    }

    ImagePreviewSheet { id: preview; objectName: "imagePreview" }
    // The chat's sheets follow its flags.
    SettingsSheet {
        objectName: "settingsSheet"
        visible: Chat.showSettings
        onClosed: Chat.showSettings = false
    }
    SupportSheet {
        objectName: "supportSheet"
        visible: Chat.showSupport
        onClosed: Chat.showSupport = false
    }
    DebugLogSheet {
        objectName: "debugLogSheet"
        visible: Chat.showDebugLog
        onClosed: Chat.showDebugLog = false
    }

    Connections {
        target: Application
        function onStateChanged() {
            if (Application.state === Qt.ApplicationActive)
                Conversation.ensureEventStream()
        }
    }

    StudioWindow { id: studioWindow; objectName: "studioWindow" }
    // A recording being finalized or ready to edit brings the studio forward.
    Connections {
        target: Root
        function onStudioWindowRequested() {
            if (!studioWindow.visible || studioWindow.visibility === Window.Minimized)
                studioWindow.showNormal()
            else
                studioWindow.raise()
        }
    }
    SettingsWindow { id: settingsWindow }
    RecordingHud {}
}
