import QtQuick
import QtQuick.Shapes

// Rounds a picture's corners: covers what lies outside a rounded rectangle
// with the colour of the surface around it. Works with every scene graph
// backend, unlike a shader mask.
Shape {
    id: mask
    property real radius: 10
    property color matte
    readonly property real r: Math.min(radius, width / 2, height / 2)
    anchors.fill: parent
    ShapePath {
        fillColor: mask.matte
        strokeWidth: -1
        // The rectangle less the rounded one inside it.
        fillRule: ShapePath.OddEvenFill
        startX: 0
        startY: 0
        PathLine { x: mask.width; y: 0 }
        PathLine { x: mask.width; y: mask.height }
        PathLine { x: 0; y: mask.height }
        PathLine { x: 0; y: 0 }
        PathMove { x: mask.r; y: 0 }
        PathLine { x: mask.width - mask.r; y: 0 }
        PathArc { x: mask.width; y: mask.r; radiusX: mask.r; radiusY: mask.r }
        PathLine { x: mask.width; y: mask.height - mask.r }
        PathArc { x: mask.width - mask.r; y: mask.height; radiusX: mask.r; radiusY: mask.r }
        PathLine { x: mask.r; y: mask.height }
        PathArc { x: 0; y: mask.height - mask.r; radiusX: mask.r; radiusY: mask.r }
        PathLine { x: 0; y: mask.r }
        PathArc { x: mask.r; y: 0; radiusX: mask.r; radiusY: mask.r }
    }
}
