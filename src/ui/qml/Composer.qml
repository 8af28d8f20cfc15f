import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts

// The composer: attachment chip, slash menu and the input row.
Rectangle {
    id: composer
    signal sent()
    implicitHeight: column.implicitHeight + 20
    color: theme.cardBackground
    property alias input: field
    // Typing goes to the message field from the start.
    Component.onCompleted: field.forceActiveFocus()

    Rectangle { width: parent.width; height: 1; color: theme.hairline }

    ColumnLayout {
        id: column
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.margins: 10
        anchors.leftMargin: Math.max(20, (parent.width - 760) / 2)
        anchors.rightMargin: Math.max(20, (parent.width - 760) / 2)
        spacing: 8

        // Attachment chip.
        RowLayout {
            visible: chat.attachmentSource !== ""
            spacing: 8
            Rectangle {
                Layout.preferredWidth: 44
                Layout.preferredHeight: 44
                radius: 8
                clip: true
                color: theme.raisedBackground
                Image {
                    anchors.fill: parent
                    source: chat.attachmentSource
                    fillMode: Image.PreserveAspectCrop
                    sourceSize: Qt.size(88, 88)
                }
            }
            Text { text: qsTr("Screenshot attached"); color: theme.textSecondary; font.pixelSize: 12 }
            IconButton { iconName: "xmark.circle.fill"; tip: qsTr("Remove the screenshot"); onClicked: chat.clearAttachment() }
        }

        // A picture that was refused, and why.
        RowLayout {
            visible: chat.attachmentError !== ""
            Layout.fillWidth: true
            spacing: 6
            Icon { name: "exclamationmark.triangle.fill"; color: "red"; size: 11 }
            Text {
                Layout.fillWidth: true
                text: chat.attachmentError
                color: "red"
                font.pixelSize: 11
                wrapMode: Text.Wrap
            }
        }

        // Slash menu.
        Rectangle {
            visible: chat.slashMatches.length > 0
            Layout.fillWidth: true
            implicitHeight: menuColumn.implicitHeight + 8
            radius: 10
            color: theme.cardBackground
            border.width: 1
            border.color: theme.hairline
            Column {
                id: menuColumn
                x: 4
                y: 4
                width: parent.width - 8
                Repeater {
                    model: chat.slashMatches
                    Rectangle {
                        required property var modelData
                        required property int index
                        width: menuColumn.width
                        height: 30
                        radius: 6
                        color: index === chat.highlightedIndex ? Qt.rgba(0.04, 0.4, 0.76, 0.15) : "transparent"
                        RowLayout {
                            anchors.fill: parent
                            anchors.leftMargin: 8
                            anchors.rightMargin: 8
                            spacing: 8
                            Item {
                                Layout.preferredWidth: 18
                                Layout.preferredHeight: 18
                                Icon { anchors.centerIn: parent; name: modelData.icon; color: theme.brandBlue; size: 13 }
                            }
                            Text { text: modelData.name; font.pixelSize: 13; font.weight: Font.DemiBold; color: theme.textPrimary }
                            Text {
                                text: modelData.description
                                font.pixelSize: 13
                                color: theme.textSecondary
                                elide: Text.ElideRight
                                Layout.fillWidth: true
                            }
                        }
                        MouseArea {
                            anchors.fill: parent
                            cursorShape: Qt.PointingHandCursor
                            onClicked: { chat.runCommand(index); composer.sent() }
                        }
                    }
                }
            }
        }

        // The input row.
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: inputRow.implicitHeight + 20
            radius: 12
            color: theme.cardBackground
            border.width: 1
            border.color: field.activeFocus ? theme.brandBlue : theme.hairline
            RowLayout {
                id: inputRow
                anchors.fill: parent
                anchors.leftMargin: 12
                anchors.rightMargin: 12
                anchors.topMargin: 10
                anchors.bottomMargin: 10
                spacing: 8
                IconButton {
                    iconName: "paperclip"
                    iconSize: 16
                    implicitWidth: 22
                    implicitHeight: 22
                    tip: qsTr("Attach or paste a screenshot (Ctrl+V)")
                    Layout.alignment: Qt.AlignBottom
                    onClicked: fileDialog.open()
                }
                ScrollView {
                    id: scroller
                    Layout.fillWidth: true
                    Layout.preferredHeight: Math.min(field.implicitHeight, field.lineHeight * 6 + field.topPadding + field.bottomPadding)
                    TextArea {
                        id: field
                        readonly property real lineHeight: fontMetrics.lineSpacing
                        text: chat.draft
                        onTextChanged: if (chat.draft !== text) chat.draft = text
                        placeholderText: qsTr("Message Tolvane…  (type / for commands)")
                        placeholderTextColor: theme.textSecondary
                        color: theme.textPrimary
                        font.pixelSize: 14
                        wrapMode: TextArea.Wrap
                        padding: 2
                        background: null
                        focus: true
                        Accessible.name: qsTr("Message")
                        // Tab moves on, as everywhere else in the window; a
                        // chat message has no use for tab characters.
                        Keys.onTabPressed: nextItemInFocusChain(true).forceActiveFocus(Qt.TabFocusReason)
                        Keys.onBacktabPressed: nextItemInFocusChain(false).forceActiveFocus(Qt.BacktabFocusReason)
                        FontMetrics { id: fontMetrics; font: field.font }
                        Keys.onPressed: event => {
                            const slash = chat.slashMatches.length > 0
                            if ((event.key === Qt.Key_Return || event.key === Qt.Key_Enter)
                                    && !(event.modifiers & Qt.ShiftModifier)) {
                                chat.submit()
                                composer.sent()
                                event.accepted = true
                            } else if (event.key === Qt.Key_Up && slash) {
                                event.accepted = chat.moveUp()
                            } else if (event.key === Qt.Key_Down && slash) {
                                event.accepted = chat.moveDown()
                            } else if (event.key === Qt.Key_Escape && slash) {
                                event.accepted = chat.escape()
                            } else if (event.key === Qt.Key_V && (event.modifiers & Qt.ControlModifier)) {
                                event.accepted = chat.pasteFromClipboard()
                            }
                        }
                    }
                }
                Item {
                    // Room for dictation and the video menu, which come later.
                    Layout.preferredWidth: 0
                }
                IconButton {
                    Layout.alignment: Qt.AlignBottom
                    iconSize: 24
                    iconName: chat.isSending ? "stop.circle.fill" : "arrow.up.circle.fill"
                    tint: chat.isSending || chat.sendingAllowed ? theme.brandBlue : theme.textSecondary
                    enabled: chat.isSending || chat.sendingAllowed
                    opacity: 1
                    tip: chat.isSending ? qsTr("Stop") : qsTr("Send")
                    onClicked: {
                        if (chat.isSending) {
                            chat.stop()
                        } else {
                            chat.submit()
                            composer.sent()
                        }
                    }
                }
            }
        }
    }

    FileDialog {
        id: fileDialog
        title: qsTr("Attach an image")
        nameFilters: [qsTr("Images (*.png *.jpg *.jpeg *.gif *.webp *.bmp *.tif *.tiff *.heic)")]
        onAccepted: chat.attachFile(selectedFile)
    }
}
