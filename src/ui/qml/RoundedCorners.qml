import QtQuick

// Rounds the corners of what lies under it by painting the outside of a
// rounded rectangle in the colour around it: a frame as thick as the radius
// whose inner edge is the rounded outline of the parent. The parent clips.
Rectangle {
    id: corners
    property real cornerRadius: 4
    property color surroundColor: "transparent"
    x: -cornerRadius
    y: -cornerRadius
    width: parent.width + 2 * cornerRadius
    height: parent.height + 2 * cornerRadius
    radius: 2 * cornerRadius
    color: "transparent"
    border.width: cornerRadius
    border.color: surroundColor
}
