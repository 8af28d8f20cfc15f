import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tolvane

// The "qmllint disable unqualified" lines reach ids around their delegate;
// Qt 6.4's linter cannot follow that (its bound-component pragma breaks
// Loaders and models at run time in 6.4).

// The composer: attachment chip, slash menu and the input row.
Rectangle {
    id: composer
    signal sent()
    implicitHeight: column.implicitHeight + 20
    color: Theme.cardBackground
    property alias input: field
    // Typing goes to the message field from the start.
    Component.onCompleted: field.forceActiveFocus()

    Rectangle { width: parent.width; height: 1; color: Theme.hairline }

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
            visible: Chat.attachmentSource !== ""
            spacing: 8
            Rectangle {
                Layout.preferredWidth: 44
                Layout.preferredHeight: 44
                radius: 8
                clip: true
                color: Theme.raisedBackground
                Image {
                    anchors.fill: parent
                    source: Chat.attachmentSource
                    fillMode: Image.PreserveAspectCrop
                    sourceSize.width: 88
                    sourceSize.height: 88
                }
                CornerMask { radius: 8; matte: Theme.cardBackground }
            }
            Text { text: qsTr("Screenshot attached"); color: Theme.textSecondary; font.pixelSize: 12 }
            IconButton { iconName: "xmark.circle.fill"; tip: qsTr("Remove the screenshot"); onClicked: Chat.clearAttachment() }
        }

        // A picture that was refused, and why.
        RowLayout {
            visible: Chat.attachmentError !== ""
            Layout.fillWidth: true
            spacing: 6
            Icon { name: "exclamationmark.triangle.fill"; color: Theme.errorText; size: 11 }
            Text {
                Layout.fillWidth: true
                text: Chat.attachmentError
                color: Theme.errorText
                font.pixelSize: 11
                wrapMode: Text.Wrap
            }
        }

        VideoErrorRow { Layout.fillWidth: true }
        // What went wrong with the last dictation.
        RowLayout {
            visible: Dictation.voiceError !== ""
            Layout.fillWidth: true
            spacing: 6
            Icon { name: "exclamationmark.triangle.fill"; color: "red"; size: 11 }
            Text {
                Layout.fillWidth: true
                text: Dictation.voiceError
                color: "red"
                font.pixelSize: 11
                wrapMode: Text.Wrap
            }
        }

        // Slash menu.
        Rectangle {
            visible: Chat.slashMatches.length > 0
            Layout.fillWidth: true
            implicitHeight: menuColumn.implicitHeight + 8
            radius: 10
            color: Theme.cardBackground
            border.width: 1
            border.color: Theme.hairline
            Column {
                id: menuColumn
                x: 4
                y: 4
                width: parent.width - 8
                Repeater {
                    model: Chat.slashMatches
                    Rectangle {
                        id: command
                        required property var modelData
                        required property int index
                        width: menuColumn.width // qmllint disable unqualified
                        height: 30
                        radius: 6
                        color: command.index === Chat.highlightedIndex ? Qt.rgba(0.04, 0.4, 0.76, 0.15) : "transparent"
                        RowLayout {
                            anchors.fill: parent
                            anchors.leftMargin: 8
                            anchors.rightMargin: 8
                            spacing: 8
                            Item {
                                Layout.preferredWidth: 18
                                Layout.preferredHeight: 18
                                Icon { anchors.centerIn: parent; name: command.modelData.icon; color: Theme.brandBlue; size: 13 }
                            }
                            Text { text: command.modelData.name; font.pixelSize: 13; font.weight: Font.DemiBold; color: Theme.textPrimary }
                            Text {
                                text: command.modelData.description
                                font.pixelSize: 13
                                color: Theme.textSecondary
                                elide: Text.ElideRight
                                Layout.fillWidth: true
                            }
                        }
                        MouseArea {
                            anchors.fill: parent
                            cursorShape: Qt.PointingHandCursor
                            onClicked: { Chat.runCommand(command.index); composer.sent() } // qmllint disable unqualified
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
            color: Theme.cardBackground
            border.width: 1
            border.color: field.activeFocus ? Theme.brandBlue : Theme.hairline
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
                    enabled: !Dictation.busy
                    Layout.alignment: Qt.AlignBottom
                    onClicked: fileDialog.open()
                }
                ScrollView {
                    id: scroller
                    visible: !Dictation.isRecording
                    onVisibleChanged: if (visible) field.forceActiveFocus()
                    Layout.fillWidth: true
                    // Up to six whole lines, measured from the laid-out text
                    // (the font's nominal spacing is a little short of it, which
                    // scrolled the first line away at six).
                    Layout.preferredHeight: field.lineCount <= 6 ? field.implicitHeight
                        : field.contentHeight / field.lineCount * 6 + field.topPadding + field.bottomPadding
                    TextArea {
                        id: field
                        objectName: "messageField"
                        text: Chat.draft
                        onTextChanged: if (Chat.draft !== text) Chat.draft = text
                        placeholderText: qsTr("Message Tolvane…  (type / for commands)")
                        placeholderTextColor: Theme.textSecondary
                        color: Theme.textPrimary
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
                        Keys.onPressed: event => {
                            const slash = Chat.slashMatches.length > 0
                            if ((event.key === Qt.Key_Return || event.key === Qt.Key_Enter)
                                    && !(event.modifiers & Qt.ShiftModifier)) {
                                Chat.submit()
                                composer.sent()
                                event.accepted = true
                            } else if (event.key === Qt.Key_Up && slash) {
                                event.accepted = Chat.moveUp()
                            } else if (event.key === Qt.Key_Down && slash) {
                                event.accepted = Chat.moveDown()
                            } else if (event.key === Qt.Key_Escape && slash) {
                                event.accepted = Chat.escape()
                            } else if (event.key === Qt.Key_V && (event.modifiers & Qt.ControlModifier)) {
                                event.accepted = Chat.pasteFromClipboard()
                            }
                        }
                    }
                }
                DictationBar {
                    visible: Dictation.isRecording
                    Layout.fillWidth: true
                }
                VideoMenu { Layout.alignment: Qt.AlignBottom }
                BusyIndicator {
                    visible: Dictation.transcribing
                    running: visible
                    Layout.alignment: Qt.AlignBottom
                    Layout.preferredWidth: 26
                    Layout.preferredHeight: 26
                }
                IconButton {
                    visible: !Dictation.transcribing
                    Layout.alignment: Qt.AlignBottom
                    implicitWidth: 26
                    implicitHeight: 26
                    iconSize: 18
                    iconName: Dictation.micIcon
                    tint: Dictation.isRecording ? "red" : Theme.textSecondary
                    enabled: Dictation.micEnabled
                    tip: Dictation.micTip
                    onClicked: Dictation.toggle()
                }
                IconButton {
                    Layout.alignment: Qt.AlignBottom
                    iconSize: 24
                    iconName: Chat.isSending ? "stop.circle.fill" : "arrow.up.circle.fill"
                    tint: Chat.isSending || Chat.sendingAllowed ? Theme.brandBlue : Theme.textSecondary
                    enabled: Chat.isSending || Chat.sendingAllowed
                    opacity: 1
                    tip: Chat.isSending ? qsTr("Stop") : qsTr("Send")
                    onClicked: {
                        if (Chat.isSending) {
                            Chat.stop()
                        } else {
                            Chat.submit()
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
        onAccepted: Chat.attachFile(selectedFile)
    }
}
