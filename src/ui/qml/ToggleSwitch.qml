import QtQuick
import QtQuick.Controls
import Tolvane

// An on/off switch: the track fills with the brand colour when on and stays a
// clear grey when off, in both colour schemes; disabled dims it; keyboard
// focus draws a ring.
Switch {
    id: control
    hoverEnabled: true
    font.pixelSize: 13
    spacing: 8
    indicator: Rectangle {
        implicitWidth: 36
        implicitHeight: 20
        x: control.leftPadding
        y: control.topPadding + (control.availableHeight - height) / 2
        radius: 10
        opacity: control.enabled ? 1 : 0.45
        color: control.checked ? (control.down ? Qt.darker(Theme.brandBlue, 1.2) : Theme.brandBlue)
                               : (Theme.dark ? "#5A5B61" : "#A8A8AC")
        Rectangle {
            x: control.checked ? parent.width - width - 2 : 2
            y: 2
            width: 16
            height: 16
            radius: 8
            color: "white"
            Behavior on x { NumberAnimation { duration: 120 } }
        }
        Rectangle {
            visible: control.visualFocus
            anchors.fill: parent
            anchors.margins: -3
            radius: 13
            color: "transparent"
            border.width: 2
            border.color: Theme.focusRing
        }
    }
    contentItem: Text {
        leftPadding: control.indicator.width + control.spacing
        text: control.text
        font: control.font
        color: control.enabled ? Theme.textPrimary : Theme.textSecondary
        verticalAlignment: Text.AlignVCenter
    }
}
