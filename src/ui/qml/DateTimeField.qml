import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A compact date and time stepper over the canvas's `when`; the model refuses
// times before now.
ColumnLayout {
    spacing: 4
    readonly property date value: canvas.when
    function update(days, hours) {
        const next = new Date(value.getTime())
        next.setDate(next.getDate() + days)
        next.setHours(next.getHours() + hours)
        canvas.when = next
    }
    Text {
        Layout.fillWidth: true
        horizontalAlignment: Text.AlignHCenter
        text: value.toLocaleString(Qt.locale(), "dddd d MMMM yyyy, HH:mm")
        color: theme.textPrimary
        font.pixelSize: 13
        font.weight: Font.Medium
    }
    RowLayout {
        Layout.alignment: Qt.AlignHCenter
        spacing: 4
        Button { text: qsTr("−1 day"); flat: true; onClicked: update(-1, 0) }
        Button { text: qsTr("−1 hour"); flat: true; onClicked: update(0, -1) }
        Button { text: qsTr("+1 hour"); flat: true; onClicked: update(0, 1) }
        Button { text: qsTr("+1 day"); flat: true; onClicked: update(1, 0) }
    }
}
