import QtQuick
import QtQuick.Controls

// One message: a bubble right for the user and left for the coach, with draft
// previews, video, images, text and action lines, and the usage footer.
Item {
    id: row
    required property bool isUser
    required property bool isPending
    required property string html
    required property string imageSource
    required property var gallery
    required property string videoUrl
    required property var actions
    required property string footer
    signal enlarge(var images, int index)

    readonly property real bubbleMax: Math.max(120, width - 40)
    readonly property color ink: isUser ? "white" : theme.textPrimary
    implicitHeight: column.implicitHeight

    Column {
        id: column
        spacing: 8
        anchors.right: row.isUser ? parent.right : undefined
        anchors.left: row.isUser ? undefined : parent.left

        Rectangle {
            id: bubble
            anchors.right: row.isUser ? parent.right : undefined
            color: row.isUser ? theme.brandBlue : theme.raisedBackground
            radius: 16
            border.width: row.isUser ? 0 : 1
            border.color: theme.hairline
            width: row.isPending ? typing.implicitWidth + 28
                                 : Math.min(row.bubbleMax, content.implicitWidth + 28)
            height: row.isPending ? typing.implicitHeight + 24 : content.implicitHeight + 20

            TypingIndicator {
                id: typing
                visible: row.isPending
                anchors.centerIn: parent
            }

            Column {
                id: content
                visible: !row.isPending
                x: 14
                y: 10
                spacing: 8
                width: bubble.width - 28
                readonly property real innerMax: row.bubbleMax - 28

                // A preview for each action that names a draft.
                Repeater {
                    model: row.actions.filter(action => action.token !== "")
                    DraftPreviewInline {
                        required property var modelData
                        token: modelData.token
                        width: Math.min(380, content.innerMax)
                        onEnlarge: (images, index) => row.enlarge(images, index)
                    }
                }
                Loader {
                    active: row.videoUrl !== ""
                    visible: active
                    sourceComponent: VideoBubble { objectName: "videoBubble"; source: row.videoUrl; width: Math.min(380, content.innerMax) }
                }
                ImageGallery {
                    visible: row.gallery.length > 0
                    images: row.gallery
                    maxWidth: Math.min(380, content.innerMax)
                    onEnlarge: (images, index) => row.enlarge(images, index)
                }
                ClickableImage {
                    visible: row.gallery.length === 0 && row.imageSource !== ""
                    source: row.gallery.length === 0 ? row.imageSource : ""
                    maxWidth: Math.min(380, content.innerMax)
                    onEnlarge: (images, index) => row.enlarge(images, index)
                }
                Text {
                    id: measure
                    visible: false
                    text: row.html
                    textFormat: Text.RichText
                    font.pixelSize: 14
                }
                TextEdit {
                    visible: row.html !== ""
                    width: Math.min(measure.implicitWidth + 2, content.innerMax)
                    // Links take the bubble's link colour.
                    text: row.html.replace(/<a href=/g, '<a style="color:'
                                           + (row.isUser ? "#ffffff" : theme.brandBlue) + '" href=')
                    textFormat: TextEdit.RichText
                    readOnly: true
                    selectByMouse: true
                    wrapMode: TextEdit.Wrap
                    color: row.ink
                    selectionColor: row.isUser ? Qt.rgba(1, 1, 1, 0.35) : Qt.rgba(0.04, 0.4, 0.76, 0.3)
                    selectedTextColor: row.ink
                    font.pixelSize: 14
                    onLinkActivated: link => Qt.openUrlExternally(link)
                    HoverHandler {
                        cursorShape: parent.hoveredLink !== "" ? Qt.PointingHandCursor : Qt.IBeamCursor
                    }
                }
                Repeater {
                    model: row.actions
                    Flow {
                        required property var modelData
                        width: content.innerMax
                        spacing: 6
                        Text {
                            id: editLabel
                            text: qsTr("Edit this draft:")
                            font.pixelSize: 13
                            color: row.ink
                        }
                        Text {
                            // Opens the draft beside the chat instead of the browser.
                            visible: modelData.token !== ""
                            text: qsTr("Edit here")
                            font.pixelSize: 13
                            font.weight: Font.DemiBold
                            color: row.isUser ? "white" : theme.brandBlue
                            MouseArea {
                                anchors.fill: parent
                                cursorShape: Qt.PointingHandCursor
                                onClicked: canvas.token = modelData.token
                            }
                        }
                        LinkText {
                            id: editLink
                            url: modelData.url
                            font.pixelSize: 13
                            width: Math.min(implicitWidth, content.innerMax)
                            color: row.isUser ? "white" : theme.brandBlue
                            tip: qsTr("Open the editor to tweak & schedule this post")
                        }
                    }
                }
            }
        }

        Row {
            visible: row.footer !== ""
            spacing: 4
            Icon { name: "ladybug"; size: 11; anchors.verticalCenter: parent.verticalCenter }
            TextEdit {
                text: row.footer
                readOnly: true
                selectByMouse: true
                font.family: "monospace"
                font.pixelSize: 10
                color: theme.textSecondary
            }
        }
    }
}
