import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tolvane

// The "qmllint disable unqualified" lines reach ids around their delegate;
// Qt 6.4's linter cannot follow that (its bound-component pragma breaks
// Loaders and models at run time in 6.4).

// The main column: header, the conversation (or the welcome), the composer.
Item {
    id: chatView
    signal enlarge(var images, int index)

    // Ctrl+V with the focus elsewhere in the chat (a message, a button) still
    // attaches a screenshot; the message field handles its own.
    Keys.onPressed: event => {
        if (event.key === Qt.Key_V && (event.modifiers & Qt.ControlModifier))
            event.accepted = Chat.pasteFromClipboard()
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        // Header.
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 54
            color: Theme.cardBackground
            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 14
                anchors.rightMargin: 10
                spacing: 10
                BrandAvatar { size: 30 }
                Column {
                    Text { text: "Tolvane"; font.pixelSize: 14; font.weight: Font.DemiBold; color: Theme.textPrimary }
                    Text { text: qsTr("Your AI Head of Content"); font.pixelSize: 11; color: Theme.textSecondary }
                }
                Item { Layout.fillWidth: true }
                IconButton {
                    visible: Chat.debugAvailable
                    iconName: "ladybug"
                    tip: qsTr("AI request log")
                    onClicked: Chat.showDebugLog = true
                }
                IconButton { iconName: "questionmark.circle"; tip: qsTr("Contact support"); onClicked: Chat.showSupport = true }
                IconButton { iconName: "gearshape"; tip: qsTr("Settings"); onClicked: Chat.showSettings = true }
            }
            Rectangle { anchors.bottom: parent.bottom; width: parent.width; height: 1; color: Theme.hairline }
        }

        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true

            ListView {
                id: list
                objectName: "messageList"
                anchors.fill: parent
                visible: !Chat.isEmpty
                model: Messages
                spacing: 16
                clip: true
                cacheBuffer: 2000
                boundsBehavior: Flickable.StopAtBounds
                ScrollBar.vertical: ScrollBar {}
                header: Item { height: 20 }
                footer: Item { height: 28 }
                // New content keeps the list at its bottom while it is there.
                property bool pinned: true
                onMovementEnded: pinned = atYEnd
                onCountChanged: if (pinned) pinToEnd.restart()
                onContentHeightChanged: if (pinned && !moving) pinToEnd.restart()
                // The composer growing (a picture attached, more lines) keeps
                // the newest message in view.
                onHeightChanged: if (pinned && !moving) pinToEnd.restart()
                Component.onCompleted: positionViewAtEnd()
                // Scrolls once the pass that changed the list is over.
                Timer { id: pinToEnd; interval: 0; onTriggered: list.positionViewAtEnd() }
                delegate: MessageRow {
                    width: Math.min(760, ListView.view.width - 40)
                    x: (ListView.view.width - width) / 2
                    onEnlarge: (images, index) => chatView.enlarge(images, index)
                }
                Connections {
                    target: Chat
                    function onScrollToBottom() {
                        list.pinned = true
                        pinToEnd.restart()
                    }
                }
            }

            // The welcome, with starter prompts.
            Flickable {
                anchors.fill: parent
                visible: Chat.isEmpty
                contentWidth: width
                contentHeight: welcome.implicitHeight + 80
                Column {
                    id: welcome
                    y: 40
                    width: Math.min(420, parent.width - 40)
                    x: (parent.width - width) / 2
                    spacing: 18
                    Text {
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        text: qsTr("Hey — I'm Tolvane, your content coach")
                        font.pixelSize: 18
                        font.weight: Font.DemiBold
                        color: Theme.textPrimary
                        wrapMode: Text.Wrap
                    }
                    Text {
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        text: qsTr("Tell me what you do and your goal, and I'll analyze your profile, draft posts in your voice, and schedule them.")
                        font.pixelSize: 13
                        color: Theme.textSecondary
                        wrapMode: Text.Wrap
                    }
                    Repeater {
                        model: Chat.starters
                        AbstractButton {
                            id: starter
                            required property string modelData
                            width: welcome.width // qmllint disable unqualified
                            implicitHeight: implicitContentHeight + 20
                            hoverEnabled: true
                            Accessible.name: modelData
                            onClicked: {
                                Chat.sendStarter(modelData)
                                composer.input.forceActiveFocus() // qmllint disable unqualified
                            }
                            background: Rectangle {
                                radius: 10
                                color: starter.hovered ? Qt.darker(Theme.cardBackground, 1.04) : Theme.cardBackground
                                border.width: 1
                                border.color: starter.visualFocus ? Theme.brandBlue : Theme.hairline
                            }
                            contentItem: Text {
                                leftPadding: 14
                                rightPadding: 14
                                text: starter.modelData
                                color: Theme.textPrimary
                                font.pixelSize: 13
                                wrapMode: Text.Wrap
                                verticalAlignment: Text.AlignVCenter
                            }
                        }
                    }
                }
            }
        }

        Composer {
            id: composer
            Layout.fillWidth: true
            onSent: list.pinned = true
        }
    }
}
