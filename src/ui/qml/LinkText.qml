import QtQuick
import QtQuick.Controls
import Tolvane

// A clickable address: underlined, pointing-hand cursor, opens in the browser.
Text {
    id: link
    property string url
    property string tip
    text: url
    color: Theme.linkText
    font.underline: true
    // An address breaks where it must; words stay whole.
    wrapMode: Text.WrapAtWordBoundaryOrAnywhere
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: Qt.openUrlExternally(link.url)
    }
    ToolTip.visible: area.containsMouse && tip !== ""
    ToolTip.text: tip
    ToolTip.delay: 600
}
