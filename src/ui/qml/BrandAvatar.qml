import QtQuick

// The product mark in a size x size square.
Item {
    id: avatar
    property int size: 30
    implicitWidth: size
    implicitHeight: size
    Image {
        anchors.fill: parent
        source: "qrc:/tolvane/assets/brandmark.svg"
        sourceSize: Qt.size(avatar.size * 2, avatar.size * 2)
        smooth: true
    }
}
