import QtQuick
import Lumora.Base
import Lumora.Controls

// One node of the node list: flag, name (blue while hovered or for the current node) and the
// signal picture of its uptime.
Item {
    id: row
    property string name: ""
    property string flag: ""
    property string signalImage: "ic_signal_red"
    property bool current: false
    property bool hovering: false
    signal chosen()

    width: parent ? parent.width : Theme.pageWidth
    height: 40

    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        onEntered: row.hovering = true
        onExited: row.hovering = false
        onClicked: row.chosen()
    }
    Image {
        id: flagImage
        x: 15
        anchors.verticalCenter: parent.verticalCenter
        height: 30
        width: 40
        fillMode: Image.PreserveAspectFit
        asynchronous: true
        source: row.flag
    }
    Text {
        objectName: "nodeName"
        anchors.left: flagImage.right
        anchors.leftMargin: 8
        anchors.right: signal.left
        anchors.rightMargin: 8
        anchors.verticalCenter: parent.verticalCenter
        text: row.name
        elide: Text.ElideRight
        color: row.hovering || row.current ? Theme.blue : Theme.gray
        font.pixelSize: Theme.fontSize
    }
    Image {
        id: signal
        objectName: "nodeSignal"
        anchors.right: parent.right
        anchors.rightMargin: 15
        anchors.verticalCenter: parent.verticalCenter
        source: Assets.image(row.signalImage)
    }
}
