import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The main column: header, the conversation (or the welcome), the composer.
Item {
    id: chatView
    signal enlarge(var images, int index)

    // Ctrl+V with the focus elsewhere in the chat (a message, a button) still
    // attaches a screenshot; the message field handles its own.
    Keys.onPressed: event => {
        if (event.key === Qt.Key_V && (event.modifiers & Qt.ControlModifier))
            event.accepted = chat.pasteFromClipboard()
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        // Header.
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 54
            color: theme.cardBackground
            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 14
                anchors.rightMargin: 10
                spacing: 10
                BrandAvatar { size: 30 }
                Column {
                    Text { text: "Tolvane"; font.pixelSize: 14; font.weight: Font.DemiBold; color: theme.textPrimary }
                    Text { text: qsTr("Your AI Head of Content"); font.pixelSize: 11; color: theme.textSecondary }
                }
                Item { Layout.fillWidth: true }
                IconButton {
                    visible: chat.debugAvailable
                    iconName: "ladybug"
                    tip: qsTr("AI request log")
                    onClicked: chat.showDebugLog = true
                }
                IconButton { iconName: "questionmark.circle"; tip: qsTr("Contact support"); onClicked: chat.showSupport = true }
                IconButton { iconName: "gearshape"; tip: qsTr("Settings"); onClicked: chat.showSettings = true }
            }
            Rectangle { anchors.bottom: parent.bottom; width: parent.width; height: 1; color: theme.hairline }
        }

        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true

            ListView {
                id: list
                objectName: "messageList"
                anchors.fill: parent
                visible: !chat.isEmpty
                model: messages
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
                onCountChanged: if (pinned) Qt.callLater(positionViewAtEnd)
                onContentHeightChanged: if (pinned && !moving) Qt.callLater(positionViewAtEnd)
                Component.onCompleted: positionViewAtEnd()
                delegate: MessageRow {
                    width: Math.min(760, list.width - 40)
                    x: (list.width - width) / 2
                    onEnlarge: (images, index) => chatView.enlarge(images, index)
                }
                Connections {
                    target: chat
                    function onScrollToBottom() {
                        list.pinned = true
                        Qt.callLater(list.positionViewAtEnd)
                    }
                }
            }

            // The welcome, with starter prompts.
            Flickable {
                anchors.fill: parent
                visible: chat.isEmpty
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
                        color: theme.textPrimary
                        wrapMode: Text.Wrap
                    }
                    Text {
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        text: qsTr("Tell me what you do and your goal, and I'll analyze your profile, draft posts in your voice, and schedule them.")
                        font.pixelSize: 13
                        color: theme.textSecondary
                        wrapMode: Text.Wrap
                    }
                    Repeater {
                        model: chat.starters
                        AbstractButton {
                            id: starter
                            required property string modelData
                            width: welcome.width
                            implicitHeight: starterText.implicitHeight + 20
                            hoverEnabled: true
                            Accessible.name: modelData
                            onClicked: {
                                chat.sendStarter(modelData)
                                composer.input.forceActiveFocus()
                            }
                            background: Rectangle {
                                radius: 10
                                color: starter.hovered ? Qt.darker(theme.cardBackground, 1.04) : theme.cardBackground
                                border.width: 1
                                border.color: starter.visualFocus ? theme.brandBlue : theme.hairline
                            }
                            contentItem: Text {
                                id: starterText
                                leftPadding: 14
                                rightPadding: 14
                                text: starter.modelData
                                color: theme.textPrimary
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
