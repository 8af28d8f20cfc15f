import QtQuick
import Tolvane

// A tinted line icon by symbol name.
Item {
    id: icon
    property string name
    property color color: Theme.textSecondary
    property int size: 18
    implicitWidth: size
    implicitHeight: size
    Image {
        anchors.fill: parent
        sourceSize.width: icon.size * 2
        sourceSize.height: icon.size * 2
        source: icon.name === "" ? "" : "image://icon/" + icon.name + "?" + icon.color
        fillMode: Image.PreserveAspectFit
        smooth: true
    }
}
