import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tolvane

// A question before an action that can't be undone. The safe answer is the
// default: it has the focus, and Return, Esc or a click outside choose it.
Popup {
    id: dialog
    property alias text: question.text
    property alias confirmText: confirm.text
    property alias cancelText: cancel.text
    signal confirmed()
    modal: true
    focus: true
    anchors.centerIn: Overlay.overlay
    width: Math.min(440, parent ? parent.width - 40 : 440)
    padding: 20
    onOpened: cancel.forceActiveFocus()
    background: Rectangle { color: Theme.raisedBackground; radius: 12; border.color: Theme.hairline }
    // A child rather than the content item: the ids inside it are used at once.
    ColumnLayout {
        anchors.fill: parent
        spacing: 18
        Keys.onReturnPressed: event => { event.accepted = true; (confirm.activeFocus ? confirm : cancel).clicked() }
        Keys.onEnterPressed: event => { event.accepted = true; (confirm.activeFocus ? confirm : cancel).clicked() }
        Text {
            id: question
            objectName: "confirmQuestion"
            Layout.fillWidth: true
            font.pixelSize: 14
            color: Theme.textPrimary
            wrapMode: Text.Wrap
        }
        RowLayout {
            Layout.alignment: Qt.AlignRight
            spacing: 10
            PushButton {
                id: cancel
                objectName: "confirmCancel"
                text: qsTr("Cancel")
                onClicked: dialog.close()
            }
            PushButton {
                id: confirm
                objectName: "confirmAccept"
                destructive: true
                onClicked: {
                    dialog.close()
                    dialog.confirmed()
                }
            }
        }
    }
}
