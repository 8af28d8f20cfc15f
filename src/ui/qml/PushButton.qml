import QtQuick
import QtQuick.Controls
import Tolvane

// A push button that shows its state in both colour schemes: hovered, pressed,
// disabled (greyed, with muted text) and keyboard focus (a ring). `prominent`
// fills it with the brand colour, `destructive` with red.
Button {
    id: control
    property bool prominent: false
    property bool destructive: false
    readonly property bool filled: prominent || destructive
    readonly property color fill: destructive ? (Theme.dark ? "#B3261E" : "#C5221F") : Theme.brandBlue
    hoverEnabled: true
    font.pixelSize: 13
    font.weight: filled ? Font.DemiBold : Font.Medium
    leftPadding: 14
    rightPadding: 14
    topPadding: 6
    bottomPadding: 6
    // An optional symbol before the text.
    property string iconName
    readonly property color ink: !enabled ? Theme.textSecondary : filled ? "white" : Theme.textPrimary
    contentItem: Row {
        spacing: 6
        Icon {
            visible: control.iconName !== ""
            name: control.iconName
            color: control.ink
            size: 14
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            text: control.text
            font: control.font
            verticalAlignment: Text.AlignVCenter
            color: control.ink
            anchors.verticalCenter: parent.verticalCenter
        }
    }
    background: Rectangle {
        implicitWidth: 64
        implicitHeight: 30
        radius: 7
        color: {
            if (!control.enabled)
                return Theme.hairline
            const base = control.filled ? control.fill : Theme.raisedBackground
            if (control.down || control.checked)
                return Theme.dark ? Qt.lighter(base, 1.35) : Qt.darker(base, 1.2)
            if (control.hovered)
                return Theme.dark ? Qt.lighter(base, 1.18) : Qt.darker(base, 1.07)
            return base
        }
        border.width: control.filled || !control.enabled ? 0 : 1
        border.color: Theme.dark ? "#55565C" : "#B8B8B8"
        // The focus ring sits outside the button, so it shows on any fill.
        Rectangle {
            visible: control.visualFocus
            anchors.fill: parent
            anchors.margins: -3
            radius: parent.radius + 3
            color: "transparent"
            border.width: 2
            border.color: Theme.focusRing
        }
    }
}
