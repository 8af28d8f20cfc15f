import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Window

// The main window: banners above the chat, the draft canvas sliding in at the
// right while the conversation holds a draft token.
ApplicationWindow {
    id: window
    visible: true
    width: initialSize.width
    height: initialSize.height
    minimumWidth: 720
    minimumHeight: 560
    title: "Tolvane"
    color: theme.appBackground
    // Controls (menus, buttons, fields) take the app's colours, light or dark.
    palette.window: theme.cardBackground
    palette.windowText: theme.textPrimary
    palette.base: theme.cardBackground
    palette.text: theme.textPrimary
    palette.button: theme.raisedBackground
    palette.buttonText: theme.textPrimary
    palette.brightText: theme.textPrimary
    palette.highlight: theme.brandBlue
    palette.highlightedText: "white"
    palette.link: theme.brandBlue
    palette.mid: theme.hairline
    palette.light: theme.raisedBackground
    palette.dark: theme.hairline

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
            Action { text: qsTr("Clear Conversation (Keeps Memory)"); shortcut: "Ctrl+Shift+K"; onTriggered: conversation.send("/clear") }
            Action { text: qsTr("Forget Me (Erase Everything)…"); onTriggered: conversation.send("/forgetme") }
        }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Banner {
            visible: root.updateVisible
            Layout.fillWidth: true
            icon: "arrow.down.circle.fill"
            iconColor: theme.brandBlue
            tint: theme.brandBlue
            tintOpacity: 0.12
            text: root.updateTitle
            notes: root.updateNotes
            LinkText {
                visible: root.updateUrl !== ""
                url: root.updateUrl
                text: qsTr("Download")
                font.pixelSize: 12
                font.weight: Font.DemiBold
                font.underline: false
            }
            IconButton { iconName: "xmark"; iconSize: 12; tip: qsTr("Dismiss"); onClicked: root.dismissUpdate() }
        }
        Banner {
            visible: root.serverBannerVisible
            Layout.fillWidth: true
            icon: "exclamationmark.triangle.fill"
            iconColor: "#E0A000"
            tint: "#FFD60A"
            text: root.serverBannerText
            Button {
                text: qsTr("Retry")
                flat: true
                font.pixelSize: 12
                font.weight: Font.DemiBold
                onClicked: root.retryServer()
            }
        }

        Banner {
            visible: root.saveBannerVisible
            Layout.fillWidth: true
            icon: "exclamationmark.triangle.fill"
            iconColor: "#E0A000"
            tint: "#FFD60A"
            text: root.saveBannerText
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
                readonly property bool shown: canvas.isOpen
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
                Rectangle { width: 1; height: parent.height; color: theme.hairline }
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
        visible: chat.showSettings
        onClosed: chat.showSettings = false
    }
    SupportSheet {
        objectName: "supportSheet"
        visible: chat.showSupport
        onClosed: chat.showSupport = false
    }
    DebugLogSheet {
        objectName: "debugLogSheet"
        visible: chat.showDebugLog
        onClosed: chat.showDebugLog = false
    }

    Connections {
        target: Qt.application
        function onStateChanged() {
            if (Qt.application.state === Qt.ApplicationActive)
                conversation.ensureEventStream()
        }
    }

    StudioWindow { id: studioWindow; objectName: "studioWindow" }
    // A recording being finalized or ready to edit brings the studio forward.
    Connections {
        target: root
        function onStudioWindowRequested() {
            if (!studioWindow.visible || studioWindow.visibility === Window.Minimized)
                studioWindow.showNormal()
            else
                studioWindow.raise()
        }
    }
    SettingsWindow { id: settingsWindow }
}
