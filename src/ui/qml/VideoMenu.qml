import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import Tolvane

// The composer's video button: record a short, its length limit and the
// background put behind the person. The rules live in VideoMenuModel.
IconButton {
    id: button
    objectName: "videoMenuButton"
    iconName: "video.badge.plus"
    iconSize: 24
    tint: Theme.textSecondary
    tip: qsTr("Record a short video")
    enabled: VideoMenuModel.enabled
    onClicked: menu.open()

    Menu {
        id: menu
        objectName: "videoMenu"
        width: 240
        // The rows that open the submenus look like the others.
        delegate: CheckMarkItem {}
        // Opens upwards: the button sits at the bottom of the window.
        y: -height

        CheckMarkItem {
            objectName: "recordCameraItem"
            text: qsTr("Record Camera")
            onTriggered: VideoMenuModel.recordCamera()
        }
        // Offered, not yet built: they do nothing.
        CheckMarkItem { text: qsTr("Record Screen (soon)") }
        CheckMarkItem { text: qsTr("Camera + Screen (soon)") }
        MenuSeparator {}
        Menu {
            id: lengths
            objectName: "maxLengthMenu"
            title: qsTr("Max Length")
            width: 200
            Instantiator {
                model: VideoMenuModel.maxLengths
                delegate: CheckMarkItem {
                    required property var modelData
                    text: modelData.label
                    marked: modelData.checked
                    onTriggered: VideoMenuModel.chooseMaxLength(modelData.seconds)
                }
                onObjectAdded: (index, object) => lengths.insertItem(index, object)
                onObjectRemoved: (index, object) => lengths.removeItem(object)
            }
        }
        Menu {
            id: backgrounds
            objectName: "backgroundMenu"
            title: qsTr("Background")
            width: 240
            CheckMarkItem {
                text: qsTr("None")
                marked: VideoMenuModel.noneChecked
                onTriggered: VideoMenuModel.chooseNone()
            }
            CheckMarkItem {
                text: qsTr("Blur")
                marked: VideoMenuModel.blurChecked
                onTriggered: VideoMenuModel.chooseBlur()
            }
            MenuSeparator {}
            Instantiator {
                model: VideoMenuModel.presets
                delegate: CheckMarkItem {
                    required property var modelData
                    text: modelData.label
                    swatch: modelData.swatch
                    marked: modelData.checked
                    onTriggered: VideoMenuModel.choosePreset(modelData.key)
                }
                // After None, Blur and the divider.
                onObjectAdded: (index, object) => backgrounds.insertItem(3 + index, object)
                onObjectRemoved: (index, object) => backgrounds.removeItem(object)
            }
            MenuSeparator {}
            CheckMarkItem {
                objectName: "storedImageItem"
                text: VideoMenuModel.imageLabel
                visible: VideoMenuModel.imageLabel !== ""
                height: visible ? implicitHeight : 0
                marked: VideoMenuModel.imageChecked
                onTriggered: VideoMenuModel.chooseStoredImage()
            }
            CheckMarkItem {
                text: qsTr("Choose Image…")
                onTriggered: imageDialog.open()
            }
        }
    }

    FileDialog {
        id: imageDialog
        title: qsTr("Choose a background image")
        nameFilters: [qsTr("Images (*.png *.jpg *.jpeg *.webp *.bmp *.gif *.tif *.tiff)")]
        onAccepted: VideoMenuModel.chooseImageFile(selectedFile)
    }
}
