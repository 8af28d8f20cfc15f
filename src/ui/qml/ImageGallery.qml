import QtQuick
import Tolvane

// The "qmllint disable unqualified" lines reach ids around their delegate;
// Qt 6.4's linter cannot follow that (its bound-component pragma breaks
// Loaders and models at run time in 6.4).

// Several images of one reply in a grid of fixed-width columns.
Item {
    id: gallery
    property var images: []
    property real maxWidth: 380
    property color matte: Theme.raisedBackground
    signal enlarge(var images, int index)
    readonly property int columns: images.length <= 1 ? 1 : (images.length === 2 || images.length === 4 ? 2 : 3)
    readonly property real tileWidth: (maxWidth - (columns - 1) * 6) / columns
    implicitWidth: images.length <= 1 ? single.implicitWidth : maxWidth
    implicitHeight: images.length <= 1 ? single.implicitHeight : grid.implicitHeight

    ClickableImage {
        id: single
        visible: gallery.images.length === 1
        source: gallery.images.length === 1 ? gallery.images[0] : ""
        maxWidth: gallery.maxWidth
        matte: gallery.matte
        group: gallery.images
        onEnlarge: (images, index) => gallery.enlarge(images, index)
    }
    Grid {
        id: grid
        visible: gallery.images.length > 1
        columns: gallery.columns
        spacing: 6
        Repeater {
            model: gallery.images.length > 1 ? gallery.images : []
            ClickableImage {
                required property string modelData
                required property int index
                source: modelData
                width: gallery.tileWidth // qmllint disable unqualified
                height: gallery.tileWidth * 1.25 // qmllint disable unqualified
                maxWidth: gallery.tileWidth // qmllint disable unqualified
                matte: gallery.matte // qmllint disable unqualified
                group: gallery.images // qmllint disable unqualified
                groupIndex: index
                tip: qsTr("Open page %1 of %2").arg(index + 1).arg(gallery.images.length) // qmllint disable unqualified
                onEnlarge: (images, i) => gallery.enlarge(images, i)
            }
        }
    }
}
