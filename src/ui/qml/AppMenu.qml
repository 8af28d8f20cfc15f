import QtQuick
import QtQuick.Controls

// A menu-bar menu as wide as its widest row, whose rows show their shortcuts.
Menu {
    id: menu
    delegate: ShortcutMenuItem {}
    width: {
        let widest = 200
        for (let i = 0; i < count; ++i) {
            const row = itemAt(i)
            if (row)
                widest = Math.max(widest, row.implicitWidth)
        }
        return widest + leftPadding + rightPadding
    }
}
