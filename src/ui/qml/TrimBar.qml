import QtQuick
import Tolvane

// The trim bar: the recording's thumbnails, the parts outside the trim
// dimmed, the kept stretch outlined, and a handle at either end. The handles
// report where the pointer is; the view-model applies the limits.
Item {
    id: bar
    property int handleWidth: 16
    property int barHeight: 56
    implicitHeight: barHeight

    readonly property real startX: Editor.trimStartFraction * width
    readonly property real endX: Editor.trimEndFraction * width

    Rectangle {
        anchors.fill: parent
        radius: 6
        color: "black"
    }
    FilmstripView {
        objectName: "trimFilmstrip"
        anchors.fill: parent
        model: Editor.model
    }
    Rectangle {
        x: 0
        width: bar.startX
        height: parent.height
        color: Qt.rgba(0, 0, 0, 0.55)
    }
    Rectangle {
        x: bar.endX
        width: bar.width - bar.endX
        height: parent.height
        color: Qt.rgba(0, 0, 0, 0.55)
    }
    Rectangle {
        x: bar.startX
        width: bar.endX - bar.startX
        height: parent.height
        color: "transparent"
        border.width: 3
        border.color: Theme.brandBlue
        radius: 4
    }

    component Handle: Rectangle {
        id: handle
        property string symbol
        // The bar the pointer's position is measured in.
        property Item track
        signal dragged(real barX)
        radius: 4
        color: Theme.brandBlue
        Icon {
            anchors.centerIn: parent
            name: handle.symbol
            color: "white"
            size: 11
        }
        MouseArea {
            anchors.fill: parent
            anchors.margins: -6
            cursorShape: Qt.SizeHorCursor
            preventStealing: true
            onPositionChanged: mouse => {
                if (pressed)
                    handle.dragged(mapToItem(handle.track, mouse.x, 0).x)
            }
        }
    }

    Handle {
        objectName: "trimLeading"
        track: bar
        width: bar.handleWidth
        height: bar.height
        x: bar.startX
        symbol: "chevron.compact.left"
        Accessible.name: qsTr("Trim start")
        onDragged: barX => Editor.dragLeadingHandle(barX, bar.width)
    }
    Handle {
        objectName: "trimTrailing"
        track: bar
        width: bar.handleWidth
        height: bar.height
        x: bar.endX - width
        symbol: "chevron.compact.right"
        Accessible.name: qsTr("Trim end")
        onDragged: barX => Editor.dragTrailingHandle(barX, bar.width)
    }
}
