import QtQuick
import Tolvane

// The "qmllint disable unqualified" lines reach ids around their delegate;
// Qt 6.4's linter cannot follow that (its bound-component pragma breaks
// Loaders and models at run time in 6.4).

// Three dots. The animation runs between the first dot lit and the last dot
// lit, easing in and out and reversing, so the first and last trade places
// while the middle one stays dim.
Row {
    id: dots
    // 0: the first dot lit; 1: the last.
    property real progress
    spacing: 4
    Repeater {
        model: 3
        Rectangle {
            required property int index
            width: 6
            height: 6
            radius: 3
            color: Theme.textSecondary
            opacity: index === 0 ? 1 - 0.7 * dots.progress // qmllint disable unqualified
                     : index === 2 ? 0.3 + 0.7 * dots.progress : 0.3
        }
    }
    SequentialAnimation on progress {
        running: dots.visible
        loops: Animation.Infinite
        NumberAnimation { from: 0; to: 1; duration: 600; easing.type: Easing.InOutQuad }
        NumberAnimation { from: 1; to: 0; duration: 600; easing.type: Easing.InOutQuad }
    }
}
