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
    palette.link: Theme.linkText
    palette.mid: Theme.hairline
    palette.light: Theme.raisedBackground
    // Spinners and scroll handles draw in this one; it must show on the cards.
    palette.dark: Theme.textSecondary
    palette.midlight: Theme.hairline
    palette.toolTipBase: Theme.raisedBackground
    palette.toolTipText: Theme.textPrimary
    palette.placeholderText: Theme.textSecondary
    palette.disabled.buttonText: Theme.textSecondary
    palette.disabled.text: Theme.textSecondary
    palette.disabled.windowText: Theme.textSecondary

    // The focused text field, for the Edit menu.
    EditActions { id: editing; window: window }

    menuBar: MenuBar {
        // A title is lit while its menu is open or the pointer is on it, not
        // after the menu closed.
        delegate: MenuBarItem {
            id: title
            hoverEnabled: true
            // The bar's own highlight outlives the menu; this one does not.
            readonly property bool lit: (menu !== null && menu.visible) || hovered
            contentItem: Text {
                text: title.text.replace("&", "")
                font.pixelSize: 13
                color: Theme.textPrimary
                verticalAlignment: Text.AlignVCenter
            }
            background: Rectangle {
                implicitHeight: 28
                radius: 5
                color: title.lit ? Qt.rgba(0.5, 0.5, 0.5, 0.2) : "transparent"
            }
        }
        background: Rectangle {
            implicitHeight: 30
            color: Theme.cardBackground
            Rectangle { anchors.bottom: parent.bottom; width: parent.width; height: 1; color: Theme.hairline }
        }
        AppMenu {
            objectName: "fileMenu"
            title: qsTr("&File")
            Action { text: qsTr("&Settings…"); shortcut: "Ctrl+,"; onTriggered: settingsWindow.showNormal() }
            Action { text: qsTr("&Video Studio"); onTriggered: studioWindow.showNormal() }
            MenuSeparator {}
            Action { text: qsTr("&Quit"); shortcut: "Ctrl+Q"; onTriggered: Qt.quit() }
        }
        AppMenu {
            objectName: "editMenu"
            title: qsTr("&Edit")
            Action { text: qsTr("Undo"); shortcut: "Ctrl+Z"; enabled: editing.canUndo; onTriggered: editing.undo() }
            Action { text: qsTr("Redo"); shortcut: "Ctrl+Shift+Z"; enabled: editing.canRedo; onTriggered: editing.redo() }
            MenuSeparator {}
            Action { text: qsTr("Cut"); shortcut: "Ctrl+X"; enabled: editing.canCut; onTriggered: editing.cut() }
            Action { text: qsTr("Copy"); shortcut: "Ctrl+C"; enabled: editing.canCopy; onTriggered: editing.copy() }
            Action {
                text: qsTr("Paste")
                shortcut: "Ctrl+V"
                enabled: editing.canPaste
                // In the message field a screenshot on the clipboard is attached.
                onTriggered: {
                    if (editing.target && editing.target.objectName === "messageField" && Chat.pasteFromClipboard())
                        return
                    editing.paste()
                }
            }
            Action { text: qsTr("Select All"); shortcut: "Ctrl+A"; enabled: editing.canSelectAll; onTriggered: editing.selectAll() }
            MenuSeparator {}
            Action { text: qsTr("Clear Conversation (Keeps Memory)"); shortcut: "Ctrl+Shift+K"; onTriggered: Conversation.send("/clear") }
            // Erasing can't be undone, so it asks first.
            Action { text: qsTr("Forget Me (Erase Everything)…"); onTriggered: forgetMe.open() }
        }
        AppMenu {
            objectName: "helpMenu"
            title: qsTr("&Help")
            Action { text: qsTr("About Tolvane"); onTriggered: about.open() }
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
            PushButton {
                text: qsTr("Retry")
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

        // The chat, and the draft canvas sliding in at the right. Where the
        // two do not fit side by side the canvas covers the chat.
        Item {
            id: mainRow
            Layout.fillWidth: true
            Layout.fillHeight: true
            readonly property bool canvasCovers: Root.canvasCoversChat(width)
            ChatView {
                anchors.left: parent.left
                anchors.top: parent.top
                anchors.bottom: parent.bottom
                width: mainRow.canvasCovers ? parent.width : parent.width - canvasSlot.width
                onEnlarge: (images, index) => preview.show(images, index)
            }
            Item {
                id: canvasSlot
                objectName: "canvasSlot"
                readonly property bool shown: Draft.isOpen
                readonly property real openWidth: mainRow.canvasCovers ? mainRow.width : Root.canvasWidth + 1
                anchors.right: parent.right
                anchors.top: parent.top
                anchors.bottom: parent.bottom
                width: shown ? openWidth : 0
                clip: true
                opacity: shown ? 1 : 0
                // Follows a spring of response 0.35 s and damping fraction 0.85:
                // quick, with a barely visible overshoot.
                Behavior on width {
                    NumberAnimation { duration: 400; easing.type: Easing.OutBack; easing.overshoot: 0.5 }
                }
                Behavior on opacity { NumberAnimation { duration: 250 } }
                Rectangle { width: 1; height: parent.height; color: Theme.hairline }
                Loader {
                    x: 1
                    // Fills the slot while the spring overshoots.
                    width: Math.max(canvasSlot.openWidth - 1, canvasSlot.width - 1)
                    height: parent.height
                    active: canvasSlot.shown || canvasSlot.opacity > 0
                    source: "DraftCanvas.qml"
                }
            }
        }
    }

    // Esc closes the canvas, unless the message field's slash menu takes it.
    Shortcut {
        sequence: "Esc"
        enabled: Draft.isOpen && Chat.slashMatches.length === 0
        onActivated: Draft.close()
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
    SettingsWindow { id: settingsWindow; objectName: "settingsWindow" }
    RecordingHud {}

    ConfirmDialog {
        id: forgetMe
        objectName: "forgetMeDialog"
        text: qsTr("Erase everything Tolvane's coach knows about you? This removes your memory, drafts, scheduled posts and AI log, and can't be undone.")
        cancelText: qsTr("Cancel")
        confirmText: qsTr("Erase Everything")
        onConfirmed: Conversation.send("/forgetme")
    }
    AboutDialog { id: about; objectName: "aboutDialog" }
}
