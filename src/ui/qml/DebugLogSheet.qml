import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The service's AI calls: the list at the left, the selected call at the right.
Popup {
    id: sheet
    modal: true
    focus: true
    anchors.centerIn: Overlay.overlay
    width: Math.min(1000, parent ? parent.width - 40 : 1000)
    height: Math.min(700, parent ? parent.height - 40 : 700)
    padding: 0
    onAboutToShow: debugLog.open()
    background: Rectangle { color: theme.cardBackground; radius: 12; border.color: theme.hairline }
    contentItem: ColumnLayout {
        spacing: 0
        RowLayout {
            Layout.fillWidth: true
            Layout.margins: 12
            spacing: 10
            Text { text: qsTr("AI requests"); font.pixelSize: 15; font.weight: Font.DemiBold; color: theme.textPrimary }
            Text { text: debugLog.count; font.pixelSize: 11; color: theme.textSecondary }
            BusyIndicator { visible: debugLog.loading; running: visible; Layout.preferredWidth: 18; Layout.preferredHeight: 18 }
            Item { Layout.fillWidth: true }
            CheckBox { text: qsTr("Only me"); font.pixelSize: 12; checked: debugLog.mineOnly; onToggled: debugLog.mineOnly = checked }
            Button { text: qsTr("Refresh"); onClicked: debugLog.refresh() }
            Button { text: qsTr("Clear"); onClicked: debugLog.clear() }
            IconButton { iconName: "xmark"; tip: qsTr("Close"); onClicked: sheet.close() }
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: theme.hairline }
        SplitView {
            Layout.fillWidth: true
            Layout.fillHeight: true
            Item {
                SplitView.preferredWidth: 340
                SplitView.minimumWidth: 240
                Column {
                    visible: debugLog.hasError
                    anchors.centerIn: parent
                    width: parent.width - 32
                    spacing: 4
                    Text { text: debugLog.errorHeading; font.pixelSize: 13; font.weight: Font.Medium; color: theme.textPrimary }
                    Text { text: debugLog.error; font.pixelSize: 11; color: theme.textSecondary; wrapMode: Text.Wrap; width: parent.width }
                }
                Text {
                    visible: !debugLog.hasError && debugLog.showEmpty
                    anchors.centerIn: parent
                    text: debugLog.emptyText
                    font.pixelSize: 12
                    color: theme.textSecondary
                }
                ListView {
                    anchors.fill: parent
                    anchors.margins: 8
                    visible: !debugLog.hasError && !debugLog.showEmpty
                    clip: true
                    model: debugLog.calls
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
                                Text { text: callRow.title; font.pixelSize: 12; font.weight: Font.DemiBold; color: callRow.failed ? "#D93025" : theme.textPrimary }
                                Text { visible: callRow.intent !== ""; text: callRow.intent; font.pixelSize: 10; color: theme.textSecondary }
                                Text { text: callRow.time; font.pixelSize: 10; color: theme.textSecondary }
                            }
                            Text { text: callRow.model + "  " + callRow.usage; font.pixelSize: 10; color: theme.textSecondary; elide: Text.ElideRight; width: parent.width }
                        }
                        MouseArea { anchors.fill: parent; onClicked: debugLog.select(callRow.callId) }
                    }
                }
            }
            Item {
                SplitView.fillWidth: true
                Text {
                    visible: !debugLog.hasDetail
                    anchors.centerIn: parent
                    text: debugLog.detailPlaceholder
                    font.pixelSize: 12
                    color: theme.textSecondary
                }
                Flickable {
                    visible: debugLog.hasDetail
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
                            model: debugLog.detailItems
                            Loader {
                                required property var modelData
                                width: detail.width
                                sourceComponent: modelData.kind === "block" ? blockItem : lineItem
                                property var item: modelData
                            }
                        }
                    }
                }
            }
        }
    }

    Component {
        id: lineItem
        TextEdit {
            readonly property var entry: parent ? parent.item : ({})
            width: parent ? parent.width : 100
            text: entry.text || ""
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            topPadding: entry.kind === "heading" ? 8 : 0
            font.pixelSize: entry.kind === "title" ? 14 : (entry.kind === "meta" || entry.kind === "heading" ? 11 : 12)
            font.weight: entry.kind === "title" || entry.kind === "heading" ? Font.DemiBold : Font.Normal
            font.italic: entry.kind === "note"
            color: entry.tone === "error" ? "#D93025"
                 : entry.tone === "response" ? "#1E8E3E"
                 : (entry.kind === "meta" || entry.kind === "note") ? theme.textSecondary : theme.textPrimary
        }
    }
    Component {
        id: blockItem
        Rectangle {
            readonly property var entry: parent ? parent.item : ({})
            width: parent ? parent.width : 100
            implicitHeight: blockText.implicitHeight + 16
            radius: 6
            color: Qt.rgba(0.5, 0.5, 0.5, 0.1)
            TextEdit {
                id: blockText
                x: 8
                y: 8
                width: parent.width - 16
                text: parent.entry.text || ""
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.WrapAnywhere
                font.family: "monospace"
                font.pixelSize: 11
                color: theme.textPrimary
            }
        }
    }
}
