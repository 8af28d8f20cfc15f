import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tolvane

// The "qmllint disable unqualified" lines reach ids around their delegate;
// Qt 6.4's linter cannot follow that (its bound-component pragma breaks
// Loaders and models at run time in 6.4).

// The service's AI calls: the list at the left, the selected call at the right.
Popup {
    id: sheet
    modal: true
    focus: true
    anchors.centerIn: Overlay.overlay
    width: Math.min(1000, parent ? parent.width - 40 : 1000)
    height: Math.min(700, parent ? parent.height - 40 : 700)
    padding: 0
    onAboutToShow: DebugLog.open()
    background: Rectangle { color: Theme.cardBackground; radius: 12; border.color: Theme.hairline }
    // A child rather than the content item: the ids inside it are used at once.
    ColumnLayout {
        anchors.fill: parent
        spacing: 0
        RowLayout {
            Layout.fillWidth: true
            Layout.margins: 12
            spacing: 10
            Text { text: qsTr("AI requests"); font.pixelSize: 15; font.weight: Font.DemiBold; color: Theme.textPrimary }
            Text { text: DebugLog.count; font.pixelSize: 11; color: Theme.textSecondary }
            BusyIndicator { visible: DebugLog.loading; running: visible; Layout.preferredWidth: 18; Layout.preferredHeight: 18 }
            Item { Layout.fillWidth: true }
            CheckBox { text: qsTr("Only me"); font.pixelSize: 12; checked: DebugLog.mineOnly; onToggled: DebugLog.mineOnly = checked }
            PushButton { text: qsTr("Refresh"); enabled: !DebugLog.loading; onClicked: DebugLog.refresh() }
            PushButton { text: qsTr("Clear"); onClicked: DebugLog.clear() }
            IconButton { iconName: "xmark"; tip: qsTr("Close"); onClicked: sheet.close() }
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.hairline }
        SplitView {
            Layout.fillWidth: true
            Layout.fillHeight: true
            Item {
                SplitView.preferredWidth: 340
                SplitView.minimumWidth: 240
                Column {
                    visible: DebugLog.hasError
                    anchors.centerIn: parent
                    width: parent.width - 32
                    spacing: 4
                    Text { text: DebugLog.errorHeading; font.pixelSize: 13; font.weight: Font.Medium; color: Theme.textPrimary }
                    Text { text: DebugLog.error; font.pixelSize: 11; color: Theme.textSecondary; wrapMode: Text.Wrap; width: parent.width }
                }
                Text {
                    visible: !DebugLog.hasError && DebugLog.showEmpty
                    anchors.centerIn: parent
                    text: DebugLog.emptyText
                    font.pixelSize: 12
                    color: Theme.textSecondary
                }
                ListView {
                    anchors.fill: parent
                    anchors.margins: 8
                    visible: !DebugLog.hasError && !DebugLog.showEmpty
                    clip: true
                    model: DebugLog.calls
                    spacing: 2
                    ScrollBar.vertical: ScrollBar {}
                    delegate: Rectangle {
                        id: callRow
                        required property var callId
                        required property string title
                        required property bool failed
                        required property string intent
                        required property string time
                        required property string model
                        required property string usage
                        required property bool selected
                        width: ListView.view.width
                        height: rowColumn.implicitHeight + 12
                        radius: 6
                        color: selected ? Qt.rgba(0.04, 0.4, 0.76, 0.18) : "transparent"
                        Column {
                            id: rowColumn
                            x: 8
                            y: 6
                            width: parent.width - 16
                            spacing: 2
                            Row {
                                spacing: 6
                                Text { text: callRow.title; font.pixelSize: 12; font.weight: Font.DemiBold; color: callRow.failed ? Theme.errorText : Theme.textPrimary }
                                Text { visible: callRow.intent !== ""; text: callRow.intent; font.pixelSize: 10; color: Theme.textSecondary }
                                Text { text: callRow.time; font.pixelSize: 10; color: Theme.textSecondary }
                            }
                            Text { text: callRow.model + "  " + callRow.usage; font.pixelSize: 10; color: Theme.textSecondary; elide: Text.ElideRight; width: parent.width }
                        }
                        MouseArea { anchors.fill: parent; onClicked: DebugLog.select(callRow.callId) }
                    }
                }
            }
            Item {
                SplitView.fillWidth: true
                Text {
                    visible: !DebugLog.hasDetail
                    anchors.centerIn: parent
                    text: DebugLog.detailPlaceholder
                    font.pixelSize: 12
                    color: Theme.textSecondary
                }
                Flickable {
                    visible: DebugLog.hasDetail
                    anchors.fill: parent
                    clip: true
                    contentWidth: width
                    contentHeight: detail.implicitHeight + 32
                    ScrollBar.vertical: ScrollBar {}
                    Column {
                        id: detail
                        x: 16
                        y: 16
                        width: parent.width - 32
                        spacing: 6
                        Repeater {
                            model: DebugLog.detailItems
                            Loader {
                                id: entryLoader
                                required property var modelData
                                width: detail.width // qmllint disable unqualified
                                sourceComponent: modelData.kind === "block" ? blockItem : lineItem

                                Component {
                                    id: lineItem
                                    TextEdit {
                                        readonly property var entry: entryLoader.modelData // qmllint disable unqualified
                                        width: entryLoader.width // qmllint disable unqualified
                                        text: entry.text || ""
                                        readOnly: true
                                        selectByMouse: true
                                        wrapMode: TextEdit.Wrap
                                        topPadding: entry.kind === "heading" ? 8 : 0
                                        font.pixelSize: entry.kind === "title" ? 14 : (entry.kind === "meta" || entry.kind === "heading" ? 11 : 12)
                                        font.weight: entry.kind === "title" || entry.kind === "heading" ? Font.DemiBold : Font.Normal
                                        font.italic: entry.kind === "note"
                                        color: entry.tone === "error" ? Theme.errorText
                                             : entry.tone === "response" ? Theme.successText
                                             : (entry.kind === "meta" || entry.kind === "note") ? Theme.textSecondary : Theme.textPrimary
                                    }
                                }
                                Component {
                                    id: blockItem
                                    Rectangle {
                                        width: entryLoader.width // qmllint disable unqualified
                                        implicitHeight: blockText.implicitHeight + 16
                                        radius: 6
                                        color: Qt.rgba(0.5, 0.5, 0.5, 0.1)
                                        TextEdit {
                                            id: blockText
                                            x: 8
                                            y: 8
                                            width: parent.width - 16
                                            text: entryLoader.modelData.text || "" // qmllint disable unqualified
                                            readOnly: true
                                            selectByMouse: true
                                            // Words stay whole; only one longer than the line breaks.
                                            wrapMode: TextEdit.WrapAtWordBoundaryOrAnywhere
                                            font.family: "monospace"
                                            font.pixelSize: 11
                                            color: Theme.textPrimary
                                        }
                                    }
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}
