import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The settings window; its sections arrive with the settings view.
Window {
    title: qsTr("Settings")
    width: 520
    height: 420
    color: theme.appBackground
    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 20
        spacing: 10
        Text { text: qsTr("Connection"); font.pixelSize: 13; font.weight: Font.DemiBold; color: theme.textPrimary }
        Text { text: root.serviceRoot; font.pixelSize: 12; color: theme.textSecondary }
        Text { text: qsTr("Identity"); font.pixelSize: 13; font.weight: Font.DemiBold; color: theme.textPrimary }
        Text { text: settings.userID; font.pixelSize: 12; color: theme.textSecondary }
        Item { Layout.fillHeight: true }
    }
}
