import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tolvane

// The "qmllint disable unqualified" lines reach ids around their delegate;
// Qt 6.4's linter cannot follow that (its bound-component pragma breaks
// Loaders and models at run time in 6.4).

// A compact date and time picker over the canvas's `when`: the day opens a
// month calendar, the time has hour and minute fields. Days before today are
// not offered and the model turns a time before now into now. With the day
// button focused, Left/Right move a day; Up/Down in the time fields step.
RowLayout {
    id: field
    spacing: 8

    Button {
        id: dayButton
        objectName: "dayButton"
        Layout.fillWidth: true
        flat: true
        text: Draft.whenDayText
        icon.source: "image://icon/calendar?" + Theme.linkText
        icon.width: 16
        icon.height: 16
        icon.color: "transparent"
        font.pixelSize: 13
        Accessible.name: qsTr("Publication day: %1").arg(Draft.whenDayText)
        onClicked: calendar.open()
        Keys.onLeftPressed: Draft.shiftWhen(-1, 0)
        Keys.onRightPressed: Draft.shiftWhen(1, 0)
        background: Rectangle {
            radius: 6
            color: dayButton.hovered || dayButton.visualFocus ? Qt.rgba(0.5, 0.5, 0.5, 0.12) : "transparent"
            border.width: dayButton.visualFocus ? 2 : 1
            border.color: dayButton.visualFocus ? Theme.focusRing : Theme.hairline
        }
    }

    SpinBox {
        id: hour
        objectName: "hourField"
        from: 0
        to: 23
        editable: true
        value: Draft.whenHour
        wrap: false
        Layout.preferredWidth: 92
        Accessible.name: qsTr("Hour")
        textFromValue: (v) => String(v).padStart(2, "0")
        // The model may refuse or adjust the time; the field shows what it
        // kept.
        onValueModified: {
            Draft.setWhenTime(value, Draft.whenMinute)
            value = Qt.binding(() => Draft.whenHour)
        }
    }
    Text {
        text: ":"
        color: Theme.textPrimary
        font.pixelSize: 14
    }
    SpinBox {
        id: minute
        objectName: "minuteField"
        from: 0
        to: 59
        stepSize: 5
        editable: true
        value: Draft.whenMinute
        wrap: false
        Layout.preferredWidth: 92
        Accessible.name: qsTr("Minute")
        textFromValue: (v) => String(v).padStart(2, "0")
        onValueModified: {
            Draft.setWhenTime(Draft.whenHour, value)
            value = Qt.binding(() => Draft.whenMinute)
        }
    }

    Popup {
        id: calendar
        objectName: "calendarPopup"
        // Above the day: the picker sits at the foot of the panel, and the
        // window keeps the calendar inside it should that not fit.
        y: -height - 4
        margins: 8
        x: dayButton.x
        padding: 10
        modal: false
        focus: true
        // The month shown; it starts at the chosen day's month on opening.
        property int shownYear: Draft.whenYear
        property int shownMonth: Draft.whenMonth - 1
        onAboutToShow: {
            shownYear = Draft.whenYear
            shownMonth = Draft.whenMonth - 1
        }
        function step(months) {
            const next = shownMonth + months
            shownYear += Math.floor(next / 12)
            shownMonth = ((next % 12) + 12) % 12
        }
        background: Rectangle {
            color: Theme.raisedBackground
            radius: 10
            border.width: 1
            border.color: Theme.hairline
        }
        // A child rather than the content item: the ids inside it are used at once.
        ColumnLayout {
            anchors.fill: parent
            spacing: 6
            RowLayout {
                Layout.fillWidth: true
                IconButton { iconName: "chevron.left"; iconSize: 12; tip: qsTr("Previous month"); onClicked: calendar.step(-1) }
                Text {
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    text: new Date(calendar.shownYear, calendar.shownMonth, 1).toLocaleDateString(Qt.locale(), "MMMM yyyy")
                    color: Theme.textPrimary
                    font.pixelSize: 13
                    font.weight: Font.DemiBold
                }
                IconButton { iconName: "chevron.right"; iconSize: 12; tip: qsTr("Next month"); onClicked: calendar.step(1) }
            }
            DayOfWeekRow {
                Layout.fillWidth: true
                delegate: Text {
                    required property string shortName
                    text: shortName
                    horizontalAlignment: Text.AlignHCenter
                    color: Theme.textSecondary
                    font.pixelSize: 11
                }
            }
            MonthGrid {
                id: grid
                Layout.fillWidth: true
                year: calendar.shownYear
                month: calendar.shownMonth
                delegate: Rectangle {
                    id: cell
                    required property int day
                    required property int month
                    required property int year
                    required property bool today
                    readonly property bool offered: Draft.isDayOffered(year, month + 1, day)
                    readonly property bool chosen: year === Draft.whenYear && month + 1 === Draft.whenMonth
                                                   && day === Draft.whenDay
                    implicitWidth: 32
                    implicitHeight: 28
                    radius: 6
                    color: chosen ? Theme.brandBlue : cellHover.hovered && offered ? Qt.rgba(0.5, 0.5, 0.5, 0.15) : "transparent"
                    border.width: today && !chosen ? 1 : 0
                    border.color: Theme.brandBlue
                    Text {
                        anchors.centerIn: parent
                        text: cell.day
                        font.pixelSize: 12
                        color: cell.chosen ? "white" : Theme.textPrimary
                        opacity: !cell.offered ? 0.3 : cell.month === grid.month ? 1 : 0.55 // qmllint disable unqualified
                    }
                    HoverHandler { id: cellHover }
                    // The cell's own fields rather than a date object, so no
                    // time zone conversion can shift the day.
                    TapHandler {
                        enabled: cell.offered
                        onTapped: {
                            Draft.setWhenDay(cell.year, cell.month + 1, cell.day)
                            calendar.close() // qmllint disable unqualified
                        }
                    }
                }
            }
        }
    }
}
