import QtQuick

// Three dots; the one whose index matches the animated phase is opaque.
Row {
    id: dots
    property real phase: 0
    spacing: 4
    Repeater {
        model: 3
        Rectangle {
            required property int index
            width: 6
            height: 6
            radius: 3
            color: theme.textSecondary
            opacity: Math.round(dots.phase) === index ? 1 : 0.3
        }
    }
    SequentialAnimation on phase {
        running: dots.visible
        loops: Animation.Infinite
        NumberAnimation { from: 0; to: 2; duration: 600; easing.type: Easing.InOutQuad }
        NumberAnimation { from: 2; to: 0; duration: 600; easing.type: Easing.InOutQuad }
    }
}
