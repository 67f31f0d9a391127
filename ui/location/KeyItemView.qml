import QtQuick
import Lumora.Base
import Lumora.Controls

// One suggestion of the node search: the name prefix and how many nodes carry it.
Rectangle {
    id: chip
    property string name: ""
    property int count: 0
    property bool hovering: false
    signal chosen()

    width: parent ? parent.width : 300
    height: nameText.implicitHeight + 10
    color: hovering ? Theme.blue : "transparent"

    Text {
        id: nameText
        x: 25
        anchors.verticalCenter: parent.verticalCenter
        width: parent.width - 50 - countText.width - 8
        elide: Text.ElideRight
        text: chip.name
        color: Theme.text
        font.pixelSize: Theme.fontSize
    }
    Text {
        id: countText
        anchors.right: parent.right
        anchors.rightMargin: 25
        anchors.verticalCenter: parent.verticalCenter
        text: chip.count
        color: Theme.text
        font.pixelSize: Theme.fontSize
    }
    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        onEntered: chip.hovering = true
        onExited: chip.hovering = false
        onClicked: chip.chosen()
    }
}
