import QtQuick

// A tinted line icon by symbol name.
Item {
    id: icon
    property string name
    property color color: theme.textSecondary
    property int size: 18
    implicitWidth: size
    implicitHeight: size
    Image {
        anchors.fill: parent
        sourceSize: Qt.size(icon.size * 2, icon.size * 2)
        source: icon.name === "" ? "" : "image://icon/" + icon.name + "?" + icon.color
        fillMode: Image.PreserveAspectFit
        smooth: true
    }
}
