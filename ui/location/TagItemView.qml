import QtQuick
import Lumora.Base
import Lumora.Controls

// One tile of the tag picker: the tag's picture over its name; blue while hovered or when the
// tag is the one in effect.
Rectangle {
    id: tile
    property string name: ""
    property string icon: ""
    property bool current: false
    property bool hovering: false
    signal chosen()

    height: tileColumn.height + 2 * Theme.padding
    radius: 10
    color: hovering || current ? Theme.blue : "transparent"

    Column {
        id: tileColumn
        anchors.centerIn: parent
        width: parent.width - 2 * Theme.padding
        spacing: 4
        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            height: 50
            width: parent.width
            fillMode: Image.PreserveAspectFit
            asynchronous: true
            source: tile.icon
        }
        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            elide: Text.ElideRight
            text: tile.name
            color: Theme.text
            font.pixelSize: 12
        }
    }
    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        onEntered: tile.hovering = true
        onExited: tile.hovering = false
        onClicked: tile.chosen()
    }
}
