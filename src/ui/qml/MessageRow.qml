import QtQuick
import QtQuick.Controls
import Tolvane

// The "qmllint disable unqualified" lines reach ids around their delegate;
// Qt 6.4's linter cannot follow that (its bound-component pragma breaks
// Loaders and models at run time in 6.4).

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
    // The widest the bubble's content may be.
    readonly property real innerMax: bubbleMax - 28
    readonly property color ink: isUser ? "white" : Theme.textPrimary
    implicitHeight: column.implicitHeight

    Column {
        id: column
        spacing: 8
        anchors.right: row.isUser ? parent.right : undefined
        anchors.left: row.isUser ? undefined : parent.left

        Rectangle {
            id: bubble
            anchors.right: row.isUser ? parent.right : undefined
            color: row.isUser ? Theme.brandBlue : Theme.raisedBackground
            radius: 16
            border.width: row.isUser ? 0 : 1
            border.color: Theme.hairline
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

                // A preview for each action that names a draft.
                Repeater {
                    model: row.actions.filter(action => action.token !== "")
                    DraftPreviewInline {
                        required property var modelData
                        token: modelData.token
                        width: Math.min(380, row.innerMax) // qmllint disable unqualified
                        onEnlarge: (images, index) => row.enlarge(images, index)
                    }
                }
                Loader {
                    active: row.videoUrl !== ""
                    visible: active
                    sourceComponent: VideoBubble { objectName: "videoBubble"; source: row.videoUrl; width: Math.min(380, row.innerMax) } // qmllint disable unqualified
                }
                ImageGallery {
                    visible: row.gallery.length > 0
                    images: row.gallery
                    maxWidth: Math.min(380, row.innerMax)
                    matte: bubble.color
                    onEnlarge: (images, index) => row.enlarge(images, index)
                }
                ClickableImage {
                    visible: row.gallery.length === 0 && row.imageSource !== ""
                    source: row.gallery.length === 0 ? row.imageSource : ""
                    maxWidth: Math.min(380, row.innerMax)
                    matte: bubble.color
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
                    width: Math.min(measure.implicitWidth + 2, row.innerMax)
                    // Links take the bubble's link colour.
                    text: row.html.replace(/<a href=/g, '<a style="color:'
                                           + (row.isUser ? "#ffffff" : Theme.linkText) + '" href=')
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
                        id: actionLine
                        required property var modelData
                        width: row.innerMax // qmllint disable unqualified
                        spacing: 6
                        Text {
                            id: editLabel
                            text: qsTr("Edit this draft:")
                            font.pixelSize: 13
                            color: row.ink // qmllint disable unqualified
                        }
                        Text {
                            // Opens the draft beside the chat instead of the browser.
                            visible: actionLine.modelData.token !== ""
                            text: qsTr("Edit here")
                            font.pixelSize: 13
                            font.weight: Font.DemiBold
                            color: row.isUser ? "white" : Theme.linkText // qmllint disable unqualified
                            MouseArea {
                                anchors.fill: parent
                                cursorShape: Qt.PointingHandCursor
                                onClicked: Draft.token = actionLine.modelData.token
                            }
                        }
                        LinkText {
                            id: editLink
                            url: actionLine.modelData.url
                            font.pixelSize: 13
                            width: Math.min(implicitWidth, row.innerMax) // qmllint disable unqualified
                            color: row.isUser ? "white" : Theme.linkText // qmllint disable unqualified
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
                color: Theme.textSecondary
            }
        }
    }
}
