import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A compact date and time picker over the canvas's `when`; the model refuses
// times before now.
RowLayout {
    spacing: 6
    readonly property date value: canvas.when
    function update(days, hours, minutes) {
        const next = new Date(value.getTime())
        next.setDate(next.getDate() + days)
        next.setHours(next.getHours() + hours)
        next.setMinutes(next.getMinutes() + minutes)
        canvas.when = next
    }
    Button { text: "−1d"; flat: true; onClicked: update(-1, 0, 0); Accessible.name: qsTr("One day earlier") }
    Button { text: "−1h"; flat: true; onClicked: update(0, -1, 0); Accessible.name: qsTr("One hour earlier") }
    Text {
        Layout.fillWidth: true
        horizontalAlignment: Text.AlignHCenter
        text: value.toLocaleString(Qt.locale(), "ddd d MMM yyyy, HH:mm")
        color: theme.textPrimary
        font.pixelSize: 13
    }
    Button { text: "+1h"; flat: true; onClicked: update(0, 1, 0); Accessible.name: qsTr("One hour later") }
    Button { text: "+1d"; flat: true; onClicked: update(1, 0, 0); Accessible.name: qsTr("One day later") }
}
