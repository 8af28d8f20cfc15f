import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tolvane

// The video editor: the framed preview at the left; at the right the trim
// bar, play/pause, crop, captions, effects, the error line and the actions.
// Every rule lives in the editor's view-model; this only binds and forwards.
Item {
    id: editor
    implicitWidth: 860
    implicitHeight: 640

    palette.window: Theme.cardBackground
    palette.windowText: Theme.textPrimary
    palette.base: Theme.cardBackground
    palette.text: Theme.textPrimary
    palette.button: Theme.raisedBackground
    palette.buttonText: Theme.textPrimary
    // Switched-on switches and the highlighted action in the brand colour.
    palette.brightText: "white"
    palette.highlight: Theme.brandBlue
    palette.highlightedText: "white"
    palette.mid: Theme.hairline
    palette.light: Theme.raisedBackground
    palette.dark: Theme.brandBlue
    palette.midlight: Theme.hairline
    palette.placeholderText: Theme.textSecondary

    Component.onCompleted: Editor.open()

    component SectionTitle: Text {
        font.pixelSize: 11
        font.weight: Font.DemiBold
        font.capitalization: Font.AllUppercase
        color: Theme.textSecondary
    }
    component LabeledSwitch: Switch {
        id: toggle
        Layout.fillWidth: true
        font.pixelSize: 13
        contentItem: Text {
            leftPadding: toggle.indicator.width + toggle.spacing
            text: toggle.text
            font: toggle.font
            color: Theme.textPrimary
            verticalAlignment: Text.AlignVCenter
        }
    }
    component IconTextButton: Button {
        id: action
        property string symbol
        property color tint: Theme.textPrimary
        icon.source: symbol === "" ? "" : "image://icon/" + symbol + "?" + tint
        icon.width: 16
        icon.height: 16
        icon.color: "transparent"
        font.pixelSize: 13
        ToolTip.delay: 600
    }

    RowLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 16

        EditorPreview {
            objectName: "editorPreview"
            Layout.fillHeight: true
            // The short's 9:16 frame.
            Layout.preferredWidth: height * 0.5625
            Layout.minimumWidth: 260
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 10

            TrimBar {
                objectName: "trimBar"
                Layout.fillWidth: true
            }

            RowLayout {
                Layout.fillWidth: true
                IconTextButton {
                    objectName: "playButton"
                    symbol: Editor.playing ? "pause.circle.fill" : "play.circle.fill"
                    tint: Theme.brandBlue
                    text: Editor.playing ? qsTr("Pause") : qsTr("Play")
                    flat: true
                    onClicked: Editor.togglePlayback()
                }
                Item { Layout.fillWidth: true }
            }

            ScrollView {
                id: controls
                Layout.fillWidth: true
                Layout.fillHeight: true
                contentWidth: availableWidth
                clip: true

                ColumnLayout {
                    width: controls.availableWidth
                    spacing: 8

                    SectionTitle { text: qsTr("Crop") }
                    GridLayout {
                        Layout.fillWidth: true
                        columns: 2
                        columnSpacing: 12
                        Text { text: qsTr("Frame"); color: Theme.textPrimary; font.pixelSize: 13 }
                        Slider {
                            objectName: "frameSlider"
                            Layout.fillWidth: true
                            from: 0
                            to: 1
                            value: Editor.model ? Editor.model.cropCenterX : 0.5
                            Accessible.name: qsTr("Frame")
                            onMoved: Editor.model.cropCenterX = value
                        }
                        Text { text: qsTr("Zoom"); color: Theme.textPrimary; font.pixelSize: 13 }
                        Slider {
                            objectName: "zoomSlider"
                            Layout.fillWidth: true
                            from: 1
                            to: 3
                            value: Editor.model ? Editor.model.cropZoom : 1
                            Accessible.name: qsTr("Zoom")
                            onMoved: Editor.model.cropZoom = value
                        }
                    }

                    RowLayout {
                        Layout.fillWidth: true
                        Layout.topMargin: 6
                        SectionTitle { text: qsTr("Captions"); Layout.fillWidth: true }
                        Switch {
                            objectName: "captionsSwitch"
                            checked: Editor.model ? Editor.model.captionsEnabled : true
                            Accessible.name: qsTr("Captions")
                            onToggled: Editor.model.captionsEnabled = checked
                        }
                    }
                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 6
                        enabled: Editor.model !== null && Editor.model.captionsEnabled
                        RowLayout {
                            Layout.fillWidth: true
                            Text { text: qsTr("Style"); color: Theme.textPrimary; font.pixelSize: 13 }
                            ComboBox {
                                model: Editor.captionStyleLabels
                                currentIndex: Editor.captionStyleIndex
                                Accessible.name: qsTr("Caption style")
                                onActivated: index => Editor.captionStyleIndex = index
                            }
                            Item { Layout.fillWidth: true }
                        }
                        LabeledSwitch {
                            text: qsTr("Highlight spoken word")
                            checked: Editor.model ? Editor.model.karaokeHighlight : true
                            onToggled: Editor.model.karaokeHighlight = checked
                        }
                        ScrollView {
                            Layout.fillWidth: true
                            Layout.preferredHeight: 84
                            TextArea {
                                objectName: "captionText"
                                text: Editor.model ? Editor.model.captionText : ""
                                wrapMode: TextArea.Wrap
                                font.pixelSize: 13
                                color: Theme.textPrimary
                                placeholderText: Editor.generatingCaptions
                                                 ? qsTr("Transcribing the recording…")
                                                 : qsTr("Caption text")
                                Accessible.name: qsTr("Caption text")
                                background: Rectangle {
                                    radius: 6
                                    color: Theme.cardBackground
                                    border.width: 1
                                    border.color: Theme.hairline
                                }
                                onTextChanged: {
                                    if (Editor.model && text !== Editor.model.captionText)
                                        Editor.model.captionText = text
                                }
                            }
                        }
                        RowLayout {
                            IconTextButton {
                                objectName: "regenerateButton"
                                symbol: "arrow.clockwise"
                                text: qsTr("Regenerate")
                                enabled: !Editor.generatingCaptions
                                onClicked: Editor.regenerateCaptions()
                            }
                            BusyIndicator {
                                visible: Editor.generatingCaptions
                                running: visible
                                Layout.preferredWidth: 24
                                Layout.preferredHeight: 24
                            }
                        }
                    }

                    SectionTitle { text: qsTr("Effects"); Layout.topMargin: 6 }
                    LabeledSwitch {
                        text: qsTr("Fade in/out")
                        checked: Editor.model ? Editor.model.effectFades : true
                        onToggled: Editor.model.effectFades = checked
                    }
                    LabeledSwitch {
                        text: qsTr("Punch-in cuts")
                        checked: Editor.model ? Editor.model.effectPunchIn : true
                        onToggled: Editor.model.effectPunchIn = checked
                    }
                    LabeledSwitch {
                        text: qsTr("Ken Burns zoom")
                        checked: Editor.model ? Editor.model.effectKenBurns : true
                        onToggled: Editor.model.effectKenBurns = checked
                    }
                    LabeledSwitch {
                        text: qsTr("Progress bar")
                        checked: Editor.model ? Editor.model.effectProgressBar : true
                        onToggled: Editor.model.effectProgressBar = checked
                    }
                    LabeledSwitch {
                        text: qsTr("Jump cuts (remove pauses)")
                        checked: Editor.model ? Editor.model.effectJumpCuts : true
                        onToggled: Editor.model.effectJumpCuts = checked
                    }
                    LabeledSwitch {
                        text: qsTr("Title banner")
                        checked: Editor.model ? Editor.model.effectHook : true
                        onToggled: Editor.model.effectHook = checked
                    }
                    TextField {
                        objectName: "hookField"
                        Layout.fillWidth: true
                        enabled: Editor.model !== null && Editor.model.effectHook
                        text: Editor.model ? Editor.model.hookText : ""
                        placeholderText: qsTr("e.g. The mistake killing your posts")
                        font.pixelSize: 13
                        color: Theme.textPrimary
                        Accessible.name: qsTr("Title banner text")
                        onTextEdited: Editor.model.hookText = text
                    }
                }
            }

            RowLayout {
                objectName: "editorError"
                Layout.fillWidth: true
                visible: Editor.errorMsg !== ""
                spacing: 6
                Icon {
                    name: "exclamationmark.triangle.fill"
                    color: "#E5A00D"
                    size: 16
                    Layout.alignment: Qt.AlignTop
                }
                Text {
                    Layout.fillWidth: true
                    text: Editor.errorMsg
                    color: Theme.textPrimary
                    wrapMode: Text.Wrap
                    font.pixelSize: 12
                }
            }

            RowLayout {
                objectName: "editorActions"
                Layout.fillWidth: true
                spacing: 8
                IconTextButton {
                    objectName: "discardButton"
                    text: qsTr("Discard")
                    onClicked: Editor.discard()
                }
                Item { Layout.fillWidth: true }
                ColumnLayout {
                    objectName: "editorBusy"
                    visible: Editor.busyText !== ""
                    spacing: 2
                    Text {
                        text: Editor.busyText
                        color: Theme.textSecondary
                        font.pixelSize: 12
                    }
                    ProgressBar {
                        Layout.preferredWidth: 140
                        from: 0
                        to: 1
                        value: Editor.busyProgress
                        Accessible.name: Editor.busyText
                    }
                }
                IconTextButton {
                    objectName: "downloadButton"
                    symbol: "arrow.down.circle"
                    text: qsTr("Download")
                    enabled: !Editor.working
                    ToolTip.visible: hovered
                    ToolTip.text: qsTr("Export the video to a file on this computer")
                    onClicked: saveDialog.open()
                }
                IconTextButton {
                    objectName: "sendButton"
                    // On the filled button the circle is drawn as an outline.
                    symbol: "arrow.up.circle"
                    tint: "white"
                    // "&&" is a literal ampersand, not a shortcut marker.
                    text: qsTr("Export && Send")
                    enabled: !Editor.working
                    highlighted: true
                    onClicked: Editor.exportAndSend()
                }
            }
        }
    }

    FileDialog {
        id: saveDialog
        title: qsTr("Save the video")
        fileMode: FileDialog.SaveFile
        nameFilters: [qsTr("MPEG-4 movie (*.mp4)")]
        defaultSuffix: "mp4"
        selectedFile: Editor.proposedSaveUrl
        onAccepted: Editor.saveTo(selectedFile)
    }
}
