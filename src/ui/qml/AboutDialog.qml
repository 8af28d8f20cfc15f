import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tolvane

// Help ▸ About Tolvane: the version, the coach service this build talks to,
// and the licences of what it bundles.
Popup {
    id: dialog
    modal: true
    focus: true
    anchors.centerIn: Overlay.overlay
    width: Math.min(460, parent ? parent.width - 40 : 460)
    height: Math.min(implicitHeight, parent ? parent.height - 40 : implicitHeight)
    padding: 20
    onOpened: done.forceActiveFocus()
    background: Rectangle { color: Theme.raisedBackground; radius: 12; border.color: Theme.hairline }
    // A child rather than the content item: the ids inside it are used at once.
    Flickable {
        anchors.fill: parent
        implicitHeight: about.implicitHeight
        implicitWidth: 420
        contentHeight: about.implicitHeight
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        ColumnLayout {
            id: about
            width: parent.width
            spacing: 10
            RowLayout {
                spacing: 12
                BrandAvatar { size: 40 }
                Column {
                    Text { text: "Tolvane"; font.pixelSize: 18; font.weight: Font.DemiBold; color: Theme.textPrimary }
                    Text { objectName: "aboutVersion"; text: qsTr("Version %1").arg(Root.version); font.pixelSize: 12; color: Theme.textSecondary }
                }
            }
            Text { text: qsTr("Your AI Head of Content"); font.pixelSize: 13; color: Theme.textPrimary }
            Text { text: qsTr("Coach service"); font.pixelSize: 12; font.weight: Font.DemiBold; color: Theme.textPrimary; topPadding: 6 }
            TextEdit {
                objectName: "aboutService"
                Layout.fillWidth: true
                text: Root.serviceRoot
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.WrapAtWordBoundaryOrAnywhere
                font.pixelSize: 12
                color: Theme.textSecondary
            }
            Text { text: qsTr("Bundled with this app"); font.pixelSize: 12; font.weight: Font.DemiBold; color: Theme.textPrimary; topPadding: 6 }
            Repeater {
                model: Root.notices
                Column {
                    id: notice
                    required property var modelData
                    Layout.fillWidth: true
                    spacing: 1
                    Text {
                        width: parent.width
                        text: notice.modelData.part + ": " + notice.modelData.name
                        font.pixelSize: 12
                        color: Theme.textPrimary
                        wrapMode: Text.Wrap
                    }
                    Text {
                        objectName: "aboutLicence"
                        width: parent.width
                        text: notice.modelData.licence
                        font.pixelSize: 11
                        color: Theme.textSecondary
                        wrapMode: Text.Wrap
                    }
                }
            }
            PushButton {
                id: done
                Layout.alignment: Qt.AlignRight
                Layout.topMargin: 6
                text: qsTr("Close")
                prominent: true
                onClicked: dialog.close()
            }
        }
    }
}
