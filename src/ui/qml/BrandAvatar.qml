import QtQuick

// The product mark in a size x size square.
Item {
    id: avatar
    property int size: 30
    implicitWidth: size
    implicitHeight: size
    Image {
        anchors.fill: parent
        source: "qrc:/Tolvane/assets/brandmark.svg"
        sourceSize.width: avatar.size * 2
        sourceSize.height: avatar.size * 2
        smooth: true
    }
}
