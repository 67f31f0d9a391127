import QtQuick
import Lumora.Base
import Lumora.Controls

// One entry of the location picker: a country (flag, name, node-list button) or, without a
// code, the automatic choice. Blue while hovered or when it is the committed location.
Item {
    id: row
    property string code: ""
    property string name: ""
    property string flag: ""
    property bool current: false
    readonly property bool isAuto: code === ""
    property bool hovering: false
    signal chosen()
    signal nodesRequested()

    width: parent ? parent.width : Theme.pageWidth
    height: 40

    MouseArea {
        objectName: "countryRowArea"
        anchors.fill: parent
        hoverEnabled: true
        onEntered: row.hovering = true
        onExited: row.hovering = false
        onClicked: row.chosen()
    }

    Row {
        id: content
        x: 15
        height: parent.height
        spacing: 8

        Image {
            anchors.verticalCenter: parent.verticalCenter
            height: row.isAuto ? implicitHeight : 30
            width: row.isAuto ? implicitWidth : 30 * 4 / 3
            fillMode: Image.PreserveAspectFit
            source: row.isAuto ? Assets.image("ic_auto") : row.flag
            asynchronous: !row.isAuto
        }
        Text {
            objectName: "countryName"
            anchors.verticalCenter: parent.verticalCenter
            width: row.width - x - 15 - (row.isAuto ? 0 : nodesButton.width + 1)
            text: row.isAuto ? qsTrId("auto") : row.name
            elide: Text.ElideRight
            color: row.hovering || row.current ? Theme.blue : Theme.gray
            font.pixelSize: Theme.fontSize
        }
    }

    Rectangle {
        visible: !row.isAuto
        anchors.right: nodesButton.left
        anchors.verticalCenter: parent.verticalCenter
        width: 1
        height: 20
        color: "#d0d0d0"
    }
    Item {
        id: nodesButton
        objectName: "nodesButton_" + row.code
        visible: !row.isAuto
        anchors.right: parent.right
        height: parent.height
        width: 20 + 2 * 15
        SymbolImage {
            anchors.centerIn: parent
            width: 20
            height: 20
            source: Assets.symbol("ellipsis")
            color: Theme.gray
        }
        MouseArea {
            anchors.fill: parent
            onClicked: row.nodesRequested()
        }
    }
}
