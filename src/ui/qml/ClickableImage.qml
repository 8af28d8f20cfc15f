import QtQuick
import QtQuick.Controls
import Tolvane

// A message image, fitted to a width; click to enlarge.
Item {
    id: root
    property string source
    property real maxWidth: 380
    property real cornerRadius: 10
    // The colour around the picture, which its rounded corners show.
    property color matte: Theme.raisedBackground
    property var group: [source]
    property int groupIndex: 0
    property string tip: qsTr("Click to enlarge")
    signal enlarge(var images, int index)
    implicitWidth: image.status === Image.Ready ? Math.min(maxWidth, image.implicitWidth) : maxWidth
    implicitHeight: image.status === Image.Ready && image.implicitWidth > 0
                    ? implicitWidth * image.implicitHeight / image.implicitWidth : 120

    Image {
        id: image
        anchors.fill: parent
        source: root.source
        fillMode: Image.PreserveAspectFit
        asynchronous: true
        smooth: true
        mipmap: true
    }
    CornerMask { radius: root.cornerRadius; matte: root.matte }
    Rectangle {
        anchors.fill: parent
        color: "transparent"
        radius: root.cornerRadius
        border.width: 1
        border.color: Theme.hairline
    }
    Rectangle {
        visible: area.containsMouse
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 6
        width: 24
        height: 24
        radius: 6
        color: Qt.rgba(0, 0, 0, 0.55)
        Icon { anchors.centerIn: parent; name: "arrow.up.left.and.arrow.down.right"; color: "white"; size: 13 }
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: root.enlarge(root.group, root.groupIndex)
    }
    ToolTip.visible: area.containsMouse
    ToolTip.text: tip
    ToolTip.delay: 600
}
